// pavonize as a real process: what it reads from the library it loads, and
// what it does when the library refuses to attach.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "support/process.h"

namespace {

namespace fs = std::filesystem;

TEST(HostLibrary, VersionComesFromTheLibrarysVersionBlock)
{
    ProcessResult run = RunBuiltProgram({PAVONIZE_HOST, "--version"});
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(run.out, "pavonize (OrvanePavonize) 1.0.0.1\n");
    EXPECT_EQ(run.err, "");
}

TEST(HostLibrary, AboutShowsEveryIdentityValue)
{
    ProcessResult run = RunBuiltProgram({PAVONIZE_HOST, "--about"});
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(run.err, "");
    for (const char* line :
         {"  File version: 1.0.0.1\n", "  Product version: 1.0.0.1\n", "  Flags: 0x0 (mask 0x3F)\n",
          "  Operating system: 0x4\n", "  File type: 0x2, subtype 0x0\n",
          "  Translation: 0x0409, 0x04B0\n", "  String table 040904B0:\n",
          "    CompanyName: \"\"\n", "    FileDescription: \"OrvanePavonize DLL\"\n",
          "    FileVersion: \"1, 0, 0, 1\"\n", "    InternalName: \"OrvanePavonize\"\n",
          "    LegalCopyright: \"Copyright (C) 2026 the OrvanePavonize developers\"\n",
          "    LegalTrademarks: \"\"\n", "    OriginalFilename: \"OrvanePavonize.DLL\"\n",
          "    ProductName: \"OrvanePavonize Dynamic Link Library\"\n",
          "    ProductVersion: \"1, 0, 0, 1\"\n", "    OLESelfRegister: \"\"\n",
          "Type library: OrvanePavonize 1.0, LCID 1033, SYS_WIN32, "
          "{B8E7BBE7-432A-4287-8C53-B4FF01E93A5C}\n",
          "String 101: \"Windows sockets initialization failed.\"\n"}) {
        EXPECT_NE(run.out.find(line), std::string::npos) << line << "---\n" << run.out;
    }
}

// A copy of the host beside a library whose framework refuses it.
TEST(HostLibrary, ARefusedAttachEndsTheHostWithAMessage)
{
    fs::path directory =
        fs::temp_directory_path() / ("host_library_test_" + std::to_string(getpid()));
    fs::create_directories(directory);
    fs::copy_file(PAVONIZE_HOST, directory / "pavonize");
    fs::copy_file(REFUSING_MODULE, directory / ORVANEPAVONIZE_LIBRARY_FILE);
    fs::path output = directory / "out.bmp";

    ProcessResult run =
        RunBuiltProgram({(directory / "pavonize").string(), SAMPLE_IMAGE, output.string()});
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_EQ(run.out, "") << "Pavonize must never run";
    EXPECT_NE(run.err.find("pavonize: cannot load the recolouring library"), std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find("could not be loaded"), std::string::npos) << run.err;
    EXPECT_FALSE(fs::exists(output));
    fs::remove_all(directory);
}

}  // namespace
