// The attach and detach sequence against a framework that records every
// call and can refuse or withhold storage.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework_calls.h"
#include "shell.h"

namespace {

struct Recorder {
    std::vector<std::string> calls;
    FrameworkModuleState state{};
    bool acceptModule = true;
    bool giveStorage = true;
    alignas(FrameworkDynamicLibrary) unsigned char storage[sizeof(FrameworkDynamicLibrary)];
    FrameworkExtensionModule* initialisedModule = nullptr;
    void* initialisedInstance = nullptr;
    size_t allocatedBytes = 0;
    void* constructedIn = nullptr;
    FrameworkExtensionModule* constructedFrom = nullptr;
    bool constructedSystem = true;
    FrameworkExtensionModule* terminatedModule = nullptr;
    bool terminatedAll = true;
};

Recorder* recorder = nullptr;

const FrameworkCalls kRecordingCalls = {
    [] {
        recorder->calls.push_back("currentModuleState");
        return &recorder->state;
    },
    [](FrameworkExtensionModule* module, void* instance) {
        recorder->calls.push_back("initialise");
        recorder->initialisedModule = module;
        recorder->initialisedInstance = instance;
        return recorder->acceptModule;
    },
    [](size_t bytes) -> void* {
        recorder->calls.push_back("allocate");
        recorder->allocatedBytes = bytes;
        return recorder->giveStorage ? recorder->storage : nullptr;
    },
    [](void* storage, FrameworkExtensionModule* module, bool system) {
        recorder->calls.push_back("construct");
        recorder->constructedIn = storage;
        recorder->constructedFrom = module;
        recorder->constructedSystem = system;
    },
    [](FrameworkExtensionModule* module, bool all) {
        recorder->calls.push_back("terminate");
        recorder->terminatedModule = module;
        recorder->terminatedAll = all;
    },
    kFrameworkDynamicLibraryBytes,
};

class ShellAttach : public ::testing::Test {
protected:
    void SetUp() override
    {
        recorder = &record;
        ShellReplaceFrameworkCalls(&kRecordingCalls);
        ShellReplaceStaticShutdown([] { recorder->calls.push_back("staticShutdown"); });
    }
    void TearDown() override
    {
        ShellReplaceFrameworkCalls(nullptr);
        ShellReplaceStaticShutdown(nullptr);
        recorder = nullptr;
    }

    Recorder record;
    FrameworkListNode hostClass{nullptr, "HostClass"};
    FrameworkListNode hostFactory{nullptr, "HostFactory"};
    int instanceMarker = 0;
    void* instance = &instanceMarker;
};

TEST_F(ShellAttach, ProcessAttachParksTheListHeadsThenRegistersAndAddsTheRecord)
{
    record.state.registeredClassHead = &hostClass;
    record.state.registeredFactoryHead = &hostFactory;

    EXPECT_TRUE(LibraryEntryPoint(instance, 1, nullptr));

    EXPECT_EQ(record.calls, (std::vector<std::string>{"currentModuleState", "initialise",
                                                      "allocate", "construct"}));
    EXPECT_EQ(record.state.classInitialisation, &hostClass);
    EXPECT_EQ(record.state.factoryInitialisation, &hostFactory);
    EXPECT_EQ(record.state.registeredClassHead, nullptr);
    EXPECT_EQ(record.state.registeredFactoryHead, nullptr);
    EXPECT_EQ(record.initialisedModule, &extensionModule);
    EXPECT_EQ(record.initialisedInstance, instance);
    EXPECT_EQ(record.allocatedBytes, sizeof(FrameworkDynamicLibrary));
    EXPECT_EQ(record.constructedIn, static_cast<void*>(record.storage));
    EXPECT_EQ(record.constructedFrom, &extensionModule);
    EXPECT_FALSE(record.constructedSystem);
}

TEST_F(ShellAttach, RefusedRegistrationRefusesTheAttachWithoutARecord)
{
    record.acceptModule = false;
    EXPECT_FALSE(LibraryEntryPoint(instance, 1, nullptr));
    EXPECT_EQ(record.calls, (std::vector<std::string>{"currentModuleState", "initialise"}));
}

TEST_F(ShellAttach, NoStorageSkipsTheRecordButStillAttaches)
{
    record.giveStorage = false;
    EXPECT_TRUE(LibraryEntryPoint(instance, 1, nullptr));
    EXPECT_EQ(record.calls,
              (std::vector<std::string>{"currentModuleState", "initialise", "allocate"}));
}

TEST_F(ShellAttach, ProcessDetachTerminatesThenRunsStaticShutdown)
{
    record.state.registeredClassHead = &hostClass;

    EXPECT_TRUE(LibraryEntryPoint(instance, 0, nullptr));

    EXPECT_EQ(record.calls, (std::vector<std::string>{"terminate", "staticShutdown"}));
    EXPECT_EQ(record.terminatedModule, &extensionModule);
    EXPECT_FALSE(record.terminatedAll);
    // The hook does nothing on detach.
    EXPECT_EQ(record.state.registeredClassHead, &hostClass);
    EXPECT_EQ(record.state.classInitialisation, nullptr);
}

TEST_F(ShellAttach, ThreadAttachAndDetachChangeNothing)
{
    record.state.registeredClassHead = &hostClass;
    record.state.registeredFactoryHead = &hostFactory;
    for (uint32_t reason : {2u, 3u}) {
        EXPECT_TRUE(LibraryEntryPoint(instance, reason, nullptr)) << "reason " << reason;
    }
    EXPECT_TRUE(record.calls.empty());
    EXPECT_EQ(record.state.registeredClassHead, &hostClass);
    EXPECT_EQ(record.state.registeredFactoryHead, &hostFactory);
    EXPECT_EQ(record.state.classInitialisation, nullptr);
    EXPECT_EQ(record.state.factoryInitialisation, nullptr);
}

}  // namespace
