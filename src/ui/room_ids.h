#pragma once
// The ids of what unattended room imaging adds to the window: the History
// window and its command, the live per-PC table beside the Transfer dialog, and
// the "Wake the PCs" choices of Load Group and the Schedule dialog. Numbered
// apart from the program's own templates.
#include <wx/defs.h>

namespace kestrelon::ids {

inline constexpr int kViewHistory = wxID_HIGHEST + 40;
inline constexpr int kRoomWatchTimer = 5;

inline constexpr int kHistoryDialog = 170;
inline constexpr int kHistoryTransfers = 1170;
inline constexpr int kHistoryPcs = 1171;
inline constexpr int kHistoryCheckFailed = 1172;

inline constexpr int kLiveTargetsDialog = 171;
inline constexpr int kLiveTargetsList = 1173;

inline constexpr int kWakePcs = 1174;
inline constexpr int kWakeLead = 1175;
inline constexpr int kMinClients = 1176;
inline constexpr int kMaxWait = 1177;
inline constexpr int kRoomStatus = 1178;

}  // namespace kestrelon::ids
