#pragma once
// Whether two texts name the same Client: equal without regard to ASCII letter
// case, as group names are. Client names come from the PCs (host names, or
// "PC-" and the MAC address's last bytes), and no room holds "pc-01" beside
// "PC-01".
#include <string_view>

namespace kestrelon {

bool same_client_name(std::string_view a, std::string_view b);

}  // namespace kestrelon
