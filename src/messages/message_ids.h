// Identifiers of the texts in the program's string table.
#pragma once

#include "platform/types.h"

namespace eldoris::msg {

constexpr MessageId mustRunAsAdministrator = 101;
constexpr MessageId confirmPluginAndProvider = 102;
constexpr MessageId confirmPlugin = 103;
constexpr MessageId productTitle = 104;
constexpr MessageId providerSetupFailed = 105;
constexpr MessageId pluginInstallFailed = 106;
constexpr MessageId restartNowWithProvider = 107;
constexpr MessageId restartNow = 108;
constexpr MessageId restartBrowserWithProvider = 109;
constexpr MessageId restartBrowser = 110;
constexpr MessageId restartFailed = 111;
constexpr MessageId windowsTooOld = 116;
constexpr MessageId windows2000NeedsSp4 = 117;
constexpr MessageId windowsXpNeedsSp2 = 118;
constexpr MessageId windows2003NeedsSp2 = 119;
constexpr MessageId versionUnreadable = 121;
constexpr MessageId confirmPluginAndUecProvider = 122;
constexpr MessageId restartNowWithUecProvider = 123;
constexpr MessageId restartBrowserWithUecProvider = 124;
constexpr MessageId confirmPluginAndBothProviders = 125;
constexpr MessageId restartNowWithBothProviders = 126;
constexpr MessageId restartBrowserWithBothProviders = 127;
constexpr MessageId updateCaption = 128;
constexpr MessageId errorCaption = 129;
constexpr MessageId installedVersionUnreadable = 131;
constexpr MessageId packageNotOpened = 133;
constexpr MessageId packageVersionUnreadable = 134;
constexpr MessageId packageNotFound = 139;
constexpr MessageId hideOptions = 142;
constexpr MessageId showOptions = 143;
constexpr MessageId environmentUnreadable = 144;
constexpr MessageId sameVersionReinstall = 147;
constexpr MessageId newerVersionInstalled = 150;
constexpr MessageId systemDirectoryUnreadable = 152;
constexpr MessageId restartUnderWay = 153;

}  // namespace eldoris::msg
