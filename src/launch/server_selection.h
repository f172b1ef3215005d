#pragma once
// Where the game start finds the player's choice: one server tree of the main window. GUI thread
// only. The records it hands out live in the server directory; it owns none of them.

#include "protocol/server_records.h"

class ServerSelection {
public:
    virtual ~ServerSelection() = default;

    // True when the tree has a selected row.
    virtual bool HasSelectedItem() const = 0;

    // The selected row's game, server group, server and address. All four out-values must be
    // null on entry. A group row gives a server of the group drawn with rand() (disabled ones
    // too), a server row its own server; either gives an address of that server drawn the same
    // way, left null when it has none. 1 when a row was selected; 0 otherwise.
    virtual int GetSelectedServer(const protocol::GameRecord** game,
                                  const protocol::ServerGroup** group,
                                  const protocol::ServerEntry** server,
                                  const protocol::Endpoint** endpoint) = 0;
};
