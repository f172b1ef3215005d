#include "protocol/server_records.h"

#include <cstdio>

#include "corelib/transfer.h"

namespace protocol {

using corelib::transfer;

std::string Endpoint::text() const {
    char area[16];
    std::snprintf(area, sizeof area, "%d.%d.%d.%d", static_cast<int>(address >> 24),
                  static_cast<int>((address >> 16) & 0xFF), static_cast<int>((address >> 8) & 0xFF),
                  static_cast<int>(address & 0xFF));
    return area;
}

corelib::archive& transfer(corelib::archive& ar, GameRecord& r) {
    transfer(ar, r.name);
    transfer(ar, r.game_key);
    transfer(ar, r.server_version);
    transfer(ar, r.local_version);
    transfer(ar, r.install_state);
    transfer(ar, r.update_url);
    transfer(ar, r.extra);
    return transfer(ar, r.version_not_ready);
}

corelib::archive& transfer(corelib::archive& ar, Endpoint& r) {
    transfer(ar, r.address);
    return transfer(ar, r.port);
}

corelib::archive& transfer(corelib::archive& ar, ServerEntry& r) {
    transfer(ar, r.endpoints);
    transfer(ar, r.enabled);
    return transfer(ar, r.load);
}

corelib::archive& transfer(corelib::archive& ar, ServerGroup& r) {
    transfer(ar, r.game_name);
    transfer(ar, r.extra);
    transfer(ar, r.label);
    return transfer(ar, r.servers);
}

}  // namespace protocol
