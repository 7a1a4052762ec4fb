// The host side of the contract: loading plug-ins by file name and resolving their entry points.
#include <gtest/gtest.h>

#include "plugin_loader.h"
#include "wine_test_support.h"

namespace {

TEST(PluginLoader, ResolvesEveryEntryPointAPluginExports) {
    std::string error;
    auto plugin = qv::PluginLibrary::Load(qvtest::BesideProgram("Hotrelay2.dll"), error);
    ASSERT_TRUE(plugin.has_value()) << error;
    const qv::PluginEntryPoints& e = plugin->entry();
    EXPECT_NE(e.getPluginInfo, nullptr);
    EXPECT_NE(e.defaultRecord, nullptr);
    EXPECT_NE(e.init, nullptr);
    EXPECT_NE(e.uninit, nullptr);
    EXPECT_EQ(e.command, nullptr);  // Hotrelay2 is activated through QVCommandEx only
    EXPECT_EQ(reinterpret_cast<void*>(e.init), reinterpret_cast<void*>(plugin->Find("QVInit")));
}

TEST(PluginLoader, MissingFileIsAnErrorNamingTheFile) {
    std::string error;
    auto plugin = qv::PluginLibrary::Load(qvtest::BesideProgram("NoSuchPlugin.dll"), error);
    EXPECT_FALSE(plugin.has_value());
    EXPECT_NE(error.find("NoSuchPlugin.dll"), std::string::npos) << error;
    EXPECT_EQ(::GetModuleHandleA("NoSuchPlugin.dll"), nullptr);
}

TEST(PluginLoader, MissingEntryPointErrorNamesIt) {
    std::string error;
    // A real library that is no plug-in: it loads, but exports none of the entry points.
    auto plugin = qv::PluginLibrary::Load("version.dll", error);
    EXPECT_FALSE(plugin.has_value());
    EXPECT_NE(error.find("does not export QVGetPluginInfo"), std::string::npos) << error;
}

TEST(PluginLoader, UnloadReleasesTheLibrary) {
    std::string error;
    auto plugin = qv::PluginLibrary::Load(qvtest::BesideProgram("Hotrelay2.dll"), error);
    ASSERT_TRUE(plugin.has_value()) << error;
    EXPECT_NE(::GetModuleHandleA("Hotrelay2.dll"), nullptr);
    plugin->Unload();
    EXPECT_EQ(::GetModuleHandleA("Hotrelay2.dll"), nullptr);
    EXPECT_EQ(plugin->entry().init, nullptr);
}

}  // namespace
