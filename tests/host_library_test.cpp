// pavonize as a real process: what it reads from the library it loads, and
// what it does when the library refuses to attach.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/expected_identity.h"
#include "support/process.h"

namespace {

namespace fs = std::filesystem;

TEST(HostLibrary, VersionComesFromTheLibrarysVersionBlock)
{
    ProcessResult run = RunBuiltProgram({PAVONIZE_EXE, "--version"});
    EXPECT_EQ(run.exitStatus, 0);
    // The first line, then the copyright the version block states.
    EXPECT_EQ(
        run.out.rfind(std::string("pavonize (OrvanePavonize) ") + expected_identity::kVersion +
                          "\n" + expected_identity::kVersionStrings[4].value + "\n",
                      0),
        0u)
        << run.out;
    EXPECT_EQ(run.err, "");
}

TEST(HostLibrary, AboutShowsEveryIdentityValue)
{
    ProcessResult run = RunBuiltProgram({PAVONIZE_EXE, "--about"});
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(run.err, "");
    using namespace expected_identity;
    std::vector<std::string> lines = {std::string("  File version: ") + kVersion + "\n",
                                      std::string("  Product version: ") + kVersion + "\n",
                                      "  Flags: 0x0 (mask 0x3F)\n",
                                      "  Operating system: 0x4\n",
                                      "  File type: 0x2, subtype 0x0\n",
                                      "  Translation: 0x0409, 0x04B0\n",
                                      "  String table 040904B0:\n",
                                      std::string("Type library: ") + kTypeLibraryName +
                                          " 1.0, LCID 1033, SYS_WIN32, " + kTypeLibraryGuid + "\n",
                                      std::string("String 101: \"") + kString101 + "\"\n"};
    for (const VersionString& entry : kVersionStrings) {
        lines.push_back(std::string("    ") + entry.key + ": \"" + entry.value + "\"\n");
    }
    for (const std::string& line : lines) {
        EXPECT_NE(run.out.find(line), std::string::npos) << line << "---\n" << run.out;
    }
}

// A copy of the host beside a library whose framework refuses it.
TEST(HostLibrary, ARefusedAttachEndsTheHostWithAMessage)
{
    fs::path directory =
        fs::temp_directory_path() / ("host_library_test_" + std::to_string(getpid()));
    fs::create_directories(directory);
    fs::copy_file(PAVONIZE_EXE, directory / "pavonize");
    fs::copy_file(REFUSING_MODULE, directory / ORVANEPAVONIZE_LIBRARY_FILE);
    fs::copy_file(FRAMEWORK_LIBRARY, directory / FRAMEWORK_LIBRARY_FILE);
    fs::path output = directory / "out.bmp";

    ProcessResult run =
        RunBuiltProgram({(directory / "pavonize").string(), SAMPLE_BMP, output.string()});
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_EQ(run.out, "") << "Pavonize must never run";
    EXPECT_NE(run.err.find("pavonize: cannot load the recolouring library"), std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find("could not be loaded"), std::string::npos) << run.err;
    EXPECT_FALSE(fs::exists(output));
    fs::remove_all(directory);
}

}  // namespace
