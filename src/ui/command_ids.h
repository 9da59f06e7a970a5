#pragma once
// Menu commands, timers and the controls of the main form, by number. The numbers
// are those of the program's menu and form templates, so help texts, tests and
// scripts can name a control by its id.
#include <wx/defs.h>

namespace kestrelon::ids {

// Menu 128. Menu ids must stay below 32768 here, so the program's own commands
// (numbered 32771 to 32775 in the menu template) are numbered after the toolkit's
// ids, and the standard ones (exit, about, help) take the toolkit's ids.
inline constexpr int kFileDiscover = wxID_HIGHEST + 32771 - 32768;
inline constexpr int kOptionsPreferences = wxID_HIGHEST + 32773 - 32768;
inline constexpr int kFileClientBuilder = wxID_HIGHEST + 32774 - 32768;
inline constexpr int kHelpWebSite = wxID_HIGHEST + 32775 - 32768;
inline constexpr int kAppAbout = wxID_ABOUT;
inline constexpr int kAppExit = wxID_EXIT;
inline constexpr int kHelpIndex = wxID_HELP_INDEX;
inline constexpr int kHelpFinder = wxID_HELP_CONTENTS;
inline constexpr int kContextHelp = wxID_HELP_CONTEXT;
inline constexpr int kHelp = wxID_HELP;
inline constexpr int kDefaultHelp = wxID_HELP_COMMANDS;
inline constexpr int kViewStatusBar = wxID_HIGHEST + 11;

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
inline constexpr int kFailedClientsDialog = 150;
inline constexpr int kSaveGroupDialog = 151;
inline constexpr int kLoadGroupDialog = 152;
inline constexpr int kDeleteGroup = 107;
inline constexpr int kFailedClientsList = 1062;
inline constexpr int kGroupName = 1065;
inline constexpr int kGroupList = 1068;
inline constexpr int kGroupPreview = 1069;
inline constexpr int kGroupContents = 1075;
inline constexpr int kAboutVersion = 1140;
inline constexpr int kAboutLink = 1141;
inline constexpr int kFileInfoText = 1136;

// Drive and partition dialog 149.
inline constexpr int kDriveDialog = 149;
inline constexpr int kDriveList = 1061;
inline constexpr int kPartitionList = 1004;

// Preferences dialog 160.
inline constexpr int kPreferencesDialog = 160;
inline constexpr int kInterfaceList = 1134;
inline constexpr int kKeepPartitionSize = 1133;
inline constexpr int kUniqueSid = 1140;
inline constexpr int kSectorBySector = 1141;

}  // namespace kestrelon::ids
