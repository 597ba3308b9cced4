"""What pip needs beyond pyproject.toml: the project's version, read from the
project() line of the CMakeLists.txt one folder up (the one place it is
written), and the module's _build_info.py, made from the template the CMake
build fills in. A module installed by pip finds the library through
ORVANEPAVONIZE_LIBRARY or the system's loader."""
import pathlib
import re

from setuptools import setup
from setuptools.command.build_py import build_py

HERE = pathlib.Path(__file__).resolve().parent
PROJECT = HERE.parent / "CMakeLists.txt"


def project_version():
    try:
        text = PROJECT.read_text(encoding="utf-8")
    except OSError as error:
        raise SystemExit(f"the project's version is read from {PROJECT}: {error}")
    found = re.search(r"project\(\s*OrvanePavonize\s+VERSION\s+([0-9.]+)", text)
    if not found:
        raise SystemExit(f"{PROJECT} has no project(OrvanePavonize VERSION ...) line")
    return found.group(1)


class BuildWithInfo(build_py):
    def run(self):
        super().run()
        version = project_version()
        values = {
            "PROJECT_VERSION": version,
            "ORVANEPAVONIZE_SONAME_FILE": "liborvanepavonize.so." + version.split(".")[0],
            "ORVANEPAVONIZE_LIBRARY_FROM_MODULE": "None",
        }
        template = (HERE / "orvanepavonize" / "_build_info.py.in").read_text(encoding="utf-8")
        text = re.sub(r"@(\w+)@", lambda match: values[match.group(1)], template)
        target = pathlib.Path(self.build_lib) / "orvanepavonize" / "_build_info.py"
        target.write_text(text, encoding="utf-8")


setup(version=project_version(), cmdclass={"build_py": BuildWithInfo})
