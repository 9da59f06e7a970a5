#pragma once
// The program's own texts: captions, messages, prompts and tips.
namespace kestrelon::text {

inline constexpr const char* kAppTitle = "Kestrelon";
inline constexpr const char* kIdleStatus = "For Help, press F1";
inline constexpr const char* kAlreadyRunning = "Kestrelon is already running.";
inline constexpr const char* kFileVersion = KESTRELON_FILE_VERSION;

// Leaving for another program: the client builder's window, installed beside
// this program, and the builder program it runs. "{}" marks where the program,
// the folders looked in and the package go.
inline constexpr const char* kClientBuilderPath = "kestrelon-builder-window";
inline constexpr const char* kClientBuilderArgument0 = "kestrelon-builder-window";
inline constexpr const char* kClientBuilderProgram = "kestrelon-builder";
inline constexpr const char* kClientBuilderPackage = "kestrelon-builder";
inline constexpr const char* kClientBuilderWindowPackage = "kestrelon";
inline constexpr const char* kClientBuilderMissing =
    "The client builder is not installed: %s was not found in %s.\n\n"
    "Install the package %s, then choose File > ClientBuilder again.";
inline constexpr const char* kClientBuilderCannotStart = "The client builder could not be started: %s: %s";
// The product's web page; example.org stands in until the product has its own site.
inline constexpr const char* kWebAddress = "https://kestrelon.example.org/";

// Image pane.
inline constexpr const char* kImagePattern = "*.krn";
inline constexpr const char* kBrowseTitle = "Please locate the folder containing your Kestrelon(*.krn) files.";
inline constexpr const char* kNotValidFolder = "This is not a valid source folder!";
inline constexpr const char* kFileInfoTitle = "File info";

// Client pane.
inline constexpr const char* kClientNotFound = "ERROR: List is not updated. Can't find client !";

// Group dialogs and the list of Clients missing from a loaded group.
inline constexpr const char* kSaveGroupTitle = "Save Group";
inline constexpr const char* kLoadGroupTitle = "Load Group";
inline constexpr const char* kGroupsLabel = "Groups";
inline constexpr const char* kPreviewGroupLabel = "Preview of Selected Group";
inline constexpr const char* kContentsToSaveLabel = "Contents of Group to Save";
inline constexpr const char* kContentsToLoadLabel = "Contents of Group to Load";
inline constexpr const char* kNameToSaveLabel = "Name of Group to Save:";
inline constexpr const char* kNameToLoadLabel = "Name of Group to Load:";
inline constexpr const char* kSaveGroupButton = "Save Group";
inline constexpr const char* kLoadGroupButton = "Load Group";
inline constexpr const char* kWakePcsChoice = "Wake the PCs";
inline constexpr const char* kWakePcsTip =
    "Switch on the PCs that are not on the network (Wake-on-LAN); each is checked as it comes up";
inline constexpr const char* kDeleteGroupButton = "Delete Group";
inline constexpr const char* kFailedClientsTitle = "List of failed Clients";
inline constexpr const char* kClientsLabel = "Clients";
inline constexpr const char* kReasonColumn = "Reason";

// Menu prompts (status bar text before the line break, tip after it).
inline constexpr const char* kPromptDiscover = "Discover all the Clients.\nDiscover";
inline constexpr const char* kPromptPreferences = "Open the Application Preferences.\nApplication Preferences";
inline constexpr const char* kPromptClientBuilder = "Builds the Clients.\nBuilds the Clients";
inline constexpr const char* kPromptWebSite = "Opens Kestrelon's Web Site\nWebSite";
inline constexpr const char* kPromptExit = "Quit the application\nExit";
inline constexpr const char* kPromptStatusBar = "Show or hide the status bar\nToggle StatusBar";
inline constexpr const char* kPromptHelpTopics = "List Help topics\nHelp Topics";
inline constexpr const char* kPromptHistory =
    "Show each Copy and Create of the journal and how every PC fared\nHistory";
inline constexpr const char* kPromptAbout = "Display program information, version number and copyright\nAbout";

// Tool tips.
inline constexpr const char* kTipBrowse = "Browse";
inline constexpr const char* kTipClientInfo = "Info...";
inline constexpr const char* kTipCopy = "Copy";
inline constexpr const char* kTipSchedule = "Schedule";
inline constexpr const char* kTipCreate = "Create";
inline constexpr const char* kTipSelectAll = "Select All";
inline constexpr const char* kTipDeselectAll = "Deselect All";
inline constexpr const char* kTipLoadGroup = "Load Group";
inline constexpr const char* kTipSaveGroup = "Save Group";
inline constexpr const char* kTipRediscover = "Rediscover";

// Drive and partition dialog.
inline constexpr const char* kDrivesFrame = "Drives";
inline constexpr const char* kPartitionsFrame = "Partition(s)";

// Preferences dialog.
inline constexpr const char* kPreferencesTitle = "Preferences";
inline constexpr const char* kInterfacesLabel = "Interfaces to use";
inline constexpr const char* kKeepPartitionSizeBox = "Keep partition size";
inline constexpr const char* kUniqueSidBox = "Create Unique NT SID";
inline constexpr const char* kSectorBySectorBox = "Force sector-by-sector copying";

}  // namespace kestrelon::text
