// The framework's loader with the real library file: registration on load,
// its undoing on unload, and a refused attach that leaves nothing behind.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "loader.h"

namespace {

namespace fs = std::filesystem;

bool StillMapped(const char* path)
{
    void* handle = dlopen(path, RTLD_NOW | RTLD_NOLOAD);
    if (handle != nullptr) {
        dlclose(handle);
    }
    return handle != nullptr;
}

int ChainLength()
{
    int length = 0;
    for (const FrameworkDynamicLibrary* record = FrameworkFirstDynamicLibrary(); record;
         record = record->next) {
        ++length;
    }
    return length;
}

TEST(Loader, LoadAndUnloadWithoutACallRegisterUnregisterAndTouchNoFile)
{
    fs::path directory = fs::temp_directory_path() / ("loader_test_" + std::to_string(getpid()));
    fs::create_directories(directory);
    fs::path previous = fs::current_path();
    fs::current_path(directory);
    FrameworkListNode hostClass{nullptr, "HostClass"};
    FrameworkModuleState* state = FrameworkCurrentModuleState();
    state->registeredClassHead = &hostClass;

    testing::internal::CaptureStdout();
    LoadedLibrary* library = LoaderLoadLibrary(PAVONIZE_LIBRARY);
    ASSERT_NE(library, nullptr) << LoaderLastProblem();
    EXPECT_EQ(FrameworkRegisteredModuleCount(), 1);
    ASSERT_EQ(ChainLength(), 1);
    EXPECT_EQ(FrameworkFirstDynamicLibrary()->instance, static_cast<void*>(library));
    EXPECT_FALSE(FrameworkFirstDynamicLibrary()->system);
    // The host's class list is back in place once the library registered.
    EXPECT_EQ(state->registeredClassHead, &hostClass);
    EXPECT_EQ(state->classInitialisation, nullptr);
    EXPECT_NE(LoaderFindExport(library, "Pavonize"), nullptr);

    LoaderUnloadLibrary(library);
    std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_EQ(FrameworkRegisteredModuleCount(), 0);
    EXPECT_EQ(ChainLength(), 0);
    EXPECT_EQ(printed, "");
    EXPECT_TRUE(fs::is_empty(directory));

    state->registeredClassHead = nullptr;
    fs::current_path(previous);
    fs::remove_all(directory);
}

TEST(Loader, LoadingTwiceAttachesOnceAndDetachesOnTheLastUnload)
{
    LoadedLibrary* first = LoaderLoadLibrary(PAVONIZE_LIBRARY);
    ASSERT_NE(first, nullptr) << LoaderLastProblem();
    LoadedLibrary* second = LoaderLoadLibrary(PAVONIZE_LIBRARY);
    EXPECT_EQ(second, first);
    EXPECT_EQ(FrameworkRegisteredModuleCount(), 1);
    EXPECT_EQ(ChainLength(), 1);

    LoaderUnloadLibrary(second);
    EXPECT_EQ(FrameworkRegisteredModuleCount(), 1);
    LoaderUnloadLibrary(first);
    EXPECT_EQ(FrameworkRegisteredModuleCount(), 0);
    EXPECT_EQ(ChainLength(), 0);
}

TEST(Loader, ARefusedAttachUnloadsTheFileAndReportsIt)
{
    ASSERT_FALSE(StillMapped(REFUSING_MODULE));
    EXPECT_EQ(LoaderLoadLibrary(REFUSING_MODULE), nullptr);
    EXPECT_NE(std::string(LoaderLastProblem()).find("could not be loaded"), std::string::npos)
        << LoaderLastProblem();
    EXPECT_FALSE(StillMapped(REFUSING_MODULE));
    EXPECT_EQ(FrameworkRegisteredModuleCount(), 0);
    EXPECT_EQ(ChainLength(), 0);
}

TEST(Loader, AFileThatIsNoLibraryIsReported)
{
    EXPECT_EQ(LoaderLoadLibrary("/nonexistent/liborvanepavonize.so.1"), nullptr);
    EXPECT_NE(std::string(LoaderLastProblem()), "");
}

}  // namespace
