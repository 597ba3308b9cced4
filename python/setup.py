"""What pip needs beyond pyproject.toml: the project's version, read from the
project() line of the CMakeLists.txt one folder up (the one place it is
written); the module's _build_info.py, made from the template the CMake
build fills in; and the library itself, built with CMake from the project
one folder up and put inside the package, where the module looks first.

Everything is built in a temporary folder, removed when the build ends, so
that `pip install ./python` leaves nothing in the source tree."""
import atexit
import os
import pathlib
import re
import shutil
import subprocess
import sys
import tempfile

from setuptools import setup
from setuptools.command.build_py import build_py

try:
    from setuptools.command.bdist_wheel import bdist_wheel
except ImportError:  # setuptools before 70 has it from the wheel package
    from wheel.bdist_wheel import bdist_wheel

HERE = pathlib.Path(__file__).resolve().parent
ROOT = HERE.parent
PROJECT = ROOT / "CMakeLists.txt"
# The library and the framework stand-in it needs, found beside it through
# its $ORIGIN search path.
LIBRARIES = ("liborvanepavonize.so", "liborvanepavonize_framework.so")


def project_version():
    try:
        text = PROJECT.read_text(encoding="utf-8")
    except OSError as error:
        raise SystemExit(f"the project's version is read from {PROJECT}: {error}")
    found = re.search(r"project\(\s*OrvanePavonize\s+VERSION\s+([0-9.]+)", text)
    if not found:
        raise SystemExit(f"{PROJECT} has no project(OrvanePavonize VERSION ...) line")
    return found.group(1)


def build_libraries(folder):
    """Builds the library with CMake in `folder`; its files, by soname."""
    configure = ["cmake", "-S", str(ROOT), "-B", folder, "-DCMAKE_BUILD_TYPE=Release",
                 "-DORVANEPAVONIZE_TESTS=OFF", "-DORVANEPAVONIZE_BENCHMARKS=OFF"]
    if "CMAKE_GENERATOR" not in os.environ and shutil.which("ninja"):
        configure += ["-G", "Ninja"]
    for command in (configure, ["cmake", "--build", folder, "--target", "orvanepavonize"]):
        try:
            subprocess.run(command, check=True, stdout=sys.stderr)
        except (OSError, subprocess.CalledProcessError) as error:
            raise SystemExit(f"building the library failed: {error} (cmake, a C++ compiler "
                             "and ninja come from the project's tools/install-deps.sh)")
    major = project_version().split(".")[0]
    return [pathlib.Path(folder, "bin", f"{name}.{major}") for name in LIBRARIES]


class BuildWithLibrary(build_py):
    def run(self):
        super().run()
        version = project_version()
        package = pathlib.Path(self.build_lib) / "orvanepavonize"
        values = {
            "PROJECT_VERSION": version,
            "ORVANEPAVONIZE_SONAME_FILE": "liborvanepavonize.so." + version.split(".")[0],
            "ORVANEPAVONIZE_LIBRARY_FROM_MODULE": "None",
        }
        template = (HERE / "orvanepavonize" / "_build_info.py.in").read_text(encoding="utf-8")
        text = re.sub(r"@(\w+)@", lambda match: values[match.group(1)], template)
        (package / "_build_info.py").write_text(text, encoding="utf-8")
        build_temp = self.get_finalized_command("build").build_temp
        for library in build_libraries(os.path.join(build_temp, "cmake")):
            shutil.copyfile(library, package / library.name)  # the file, not the link


class PlatformWheel(bdist_wheel):
    """A wheel for this platform (it holds a compiled library) that any
    Python 3 can use (the module loads it with ctypes, not as an extension)."""

    def finalize_options(self):
        super().finalize_options()
        self.root_is_pure = False

    def get_tag(self):
        _, _, platform = super().get_tag()
        return "py3", "none", platform


BUILD_BASE = tempfile.mkdtemp(prefix="orvanepavonize-build-")
atexit.register(shutil.rmtree, BUILD_BASE, ignore_errors=True)

setup(version=project_version(),
      cmdclass={"build_py": BuildWithLibrary, "bdist_wheel": PlatformWheel},
      options={"build": {"build_base": BUILD_BASE}, "egg_info": {"egg_base": BUILD_BASE}})
