#pragma once
// Menu commands, timers and the controls of the main form, by number. The numbers
// are those of the program's menu and form templates, so help texts, tests and
// scripts can name a control by its id.
namespace kestrelon::ids {

// Menu 128.
inline constexpr int kFileDiscover = 32771;
inline constexpr int kOptionsPreferences = 32773;
inline constexpr int kFileClientBuilder = 32774;
inline constexpr int kHelpWebSite = 32775;
inline constexpr int kAppAbout = 57664;
inline constexpr int kAppExit = 57665;
inline constexpr int kHelpIndex = 57666;
inline constexpr int kHelpFinder = 57667;
inline constexpr int kContextHelp = 57669;
inline constexpr int kHelp = 57670;
inline constexpr int kDefaultHelp = 57671;
inline constexpr int kViewStatusBar = 59393;

// Frame timers.
inline constexpr int kDiscoveryTimer = 2;
inline constexpr int kTransferWatchTimer = 3;

// Form 101.
inline constexpr int kImageFilesFrame = 1000;
inline constexpr int kTargetClientsFrame = 1001;
inline constexpr int kClientList = 1002;
inline constexpr int kImageFileList = 1005;
inline constexpr int kSelectAll = 1006;
inline constexpr int kDeselectAll = 1007;
inline constexpr int kLoadGroup = 1008;
inline constexpr int kSaveGroup = 1009;
inline constexpr int kEmptyStatic = 1010;
inline constexpr int kRediscover = 1014;
inline constexpr int kBrowse = 1015;
inline constexpr int kCopy = 1016;
inline constexpr int kSchedule = 1018;
inline constexpr int kCreate = 1019;
inline constexpr int kClientInfo = 1021;
inline constexpr int kFileInfo = 1022;
inline constexpr int kPathLabel = 1023;
inline constexpr int kLogo = 1026;
inline constexpr int kBottomStuff = 1029;
inline constexpr int kMiddleButtons = 1031;
inline constexpr int kLowerButtons = 1034;
inline constexpr int kPathButton = 1038;
inline constexpr int kOriginMarker = 1085;
inline constexpr int kUpperStuff = 1131;

// Dialogs.
inline constexpr int kAboutVersion = 1140;
inline constexpr int kAboutLink = 1141;
inline constexpr int kFileInfoText = 1136;

}  // namespace kestrelon::ids
