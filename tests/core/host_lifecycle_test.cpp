// The host's plug-in loads, its record-size cap and the order of its calls into plug-ins.
#include <gtest/gtest.h>

#include "lifecycle.h"
#include "records.h"

namespace {

using qvhost::HostCall;
using qvhost::ObjectLife;
using qvhost::ObjectLoad;
using qvhost::PlannedCall;

std::vector<qvhost::DesktopObject> Objects(std::initializer_list<const char*> plugins) {
    std::vector<qvhost::DesktopObject> objects;
    for (const char* plugin : plugins) {
        objects.emplace_back();
        objects.back().id = static_cast<std::int32_t>(objects.size());
        objects.back().plugin = plugin;
    }
    return objects;
}

TEST(HostLoads, OnePerLibrary) {
    struct Case {
        const char* name;
        std::vector<qvhost::DesktopObject> objects;
        std::vector<std::string> libraries;
        std::vector<ObjectLoad> loads;
    };
    const Case cases[] = {
        {"none", {}, {}, {}},
        {"no plug-ins", Objects({"", ""}), {}, {{}, {}}},
        {"shared, names differ in case",
         Objects({"Wastewatch.dll", "", "Hotrelay2.dll", "hotrelay2.DLL", "WASTEWATCH.DLL", "Calculator.dll"}),
         {"Wastewatch.dll", "Hotrelay2.dll", "Calculator.dll"},
         {{0, true}, {}, {1, true}, {1, false}, {0, false}, {2, true}}},
        {"a path is another library",
         Objects({"Hotrelay2.dll", "sub\\Hotrelay2.dll"}),
         {"Hotrelay2.dll", "sub\\Hotrelay2.dll"},
         {{0, true}, {1, true}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const qvhost::LoadPlan plan = qvhost::PlanLoads(c.objects);
        EXPECT_EQ(plan.libraries, c.libraries);
        EXPECT_EQ(plan.objects, c.loads);
    }
}

TEST(HostLoads, RecordSizeCap) {
    struct Case {
        std::uint32_t size;
        const char* refusal;
    };
    const Case cases[] = {
        {0, ""},
        {20, ""},
        {qvhost::kMaxRecordSize, ""},
        {qvhost::kMaxRecordSize + 1, "plug-in \"Big.dll\" asks for a record of 65537 bytes"},
        {0xFFFFFFFFu, "plug-in \"Big.dll\" asks for a record of 4294967295 bytes"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size);
        EXPECT_EQ(qvhost::RecordSizeRefusal("Big.dll", c.size), c.refusal);
    }
}

TEST(HostCalls, Properties) {
    struct Case {
        const char* name;
        ObjectLife life;
        bool hasConfig;
        std::vector<PlannedCall> calls;
    };
    const Case cases[] = {
        {"initialised",
         {true, true},
         true,
         {{HostCall::kConfig, 4},
          {HostCall::kUninit, 4},
          {HostCall::kInit, 4},
          {HostCall::kShowRecord, 4},
          {HostCall::kSaveRecords}}},
        {"not initialised",
         {true, false},
         true,
         {{HostCall::kConfig, 4}, {HostCall::kInit, 4}, {HostCall::kShowRecord, 4}, {HostCall::kSaveRecords}}},
        {"no dialog", {true, true}, false, {}},
        {"detached", {false, false}, true, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(qvhost::PlanProperties(4, c.life, c.hasConfig), c.calls);
    }
}

TEST(HostCalls, ShutDownSavesFirst) {
    struct Case {
        const char* name;
        std::vector<ObjectLife> objects;
        std::size_t libraries;
        std::vector<PlannedCall> calls;
    };
    const Case cases[] = {
        {"empty desktop", {}, 0, {{HostCall::kSaveRecords}, {HostCall::kDetachAll}}},
        {"mixed",
         {{true, true}, {false, false}, {true, false}, {true, true}},
         2,
         {{HostCall::kSaveRecords},
          {HostCall::kUninit, 0},
          {HostCall::kUninit, 3},
          {HostCall::kDetachAll},
          {HostCall::kUnload, 0},
          {HostCall::kUnload, 1}}},
        {"a library no object kept",
         {{false, false}},
         1,
         {{HostCall::kSaveRecords}, {HostCall::kDetachAll}, {HostCall::kUnload, 0}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(qvhost::PlanShutDown(c.objects, c.libraries), c.calls);
    }
}

TEST(HostCalls, WhatAClickCalls) {
    using qvhost::Activation;
    struct Case {
        const char* name;
        qvhost::ActivationTarget target;
        Activation activation;
    };
    const Case cases[] = {
        {"no plug-in", {false, true, false, false}, Activation::kNothing},
        {"not custom", {true, false, true, true}, Activation::kNothing},
        {"both commands", {true, true, true, true}, Activation::kCommandEx},
        {"QVCommandEx only", {true, true, true, false}, Activation::kCommandEx},
        {"QVCommand only", {true, true, false, true}, Activation::kCommand},
        {"no command", {true, true, false, false}, Activation::kNoCommand},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(qvhost::ChooseActivation(c.target), c.activation);
    }
}

TEST(HostCalls, WhileAPluginCallRuns) {
    using qvhost::Admission;
    using qvhost::HostRequest;
    struct Case {
        const char* name;
        unsigned depth;
        HostRequest request;
        Admission admission;
        bool closeOnReturn;  // the outermost call's return carries a close out
    };
    const Case cases[] = {
        {"click, no call", 0, HostRequest::kClick, Admission::kCarryOut, false},
        {"properties, no call", 0, HostRequest::kProperties, Admission::kCarryOut, false},
        {"close, no call", 0, HostRequest::kClose, Admission::kCarryOut, false},
        {"click in a call", 1, HostRequest::kClick, Admission::kIgnore, false},
        {"properties in a call", 1, HostRequest::kProperties, Admission::kIgnore, false},
        {"close in a call", 1, HostRequest::kClose, Admission::kPutOff, true},
        {"close in a nested call", 2, HostRequest::kClose, Admission::kPutOff, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        qvhost::PluginCalls calls;
        for (unsigned i = 0; i < c.depth; ++i) calls.Enter();
        EXPECT_EQ(calls.Ask(c.request), c.admission);
        for (unsigned i = 1; i < c.depth; ++i) {
            EXPECT_FALSE(calls.Leave()) << "an inner call returned";
        }
        if (c.depth > 0) {
            EXPECT_EQ(calls.Leave(), c.closeOnReturn);
        }
        EXPECT_FALSE(calls.InCall());
        EXPECT_EQ(calls.Ask(HostRequest::kClose), Admission::kCarryOut);
    }
}

}  // namespace
