#pragma once
// The player's choice in one server tree as the game start reads it: the launch side's
// ServerSelection over a CServerTree. GUI thread only.

#include "launch/server_selection.h"

namespace ui {

class CServerTree;

class CQtTreeSelection final : public ServerSelection {
public:
    explicit CQtTreeSelection(const CServerTree& tree) : m_tree(tree) {}

    bool HasSelectedItem() const override;
    int GetSelectedServer(const protocol::GameRecord** game, const protocol::ServerGroup** group,
                          const protocol::ServerEntry** server,
                          const protocol::Endpoint** endpoint) override;

private:
    const CServerTree& m_tree;
};

}  // namespace ui
