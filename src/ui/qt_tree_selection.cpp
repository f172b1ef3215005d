#include "ui/qt_tree_selection.h"

#include "ui/server_tree.h"

namespace ui {

bool CQtTreeSelection::HasSelectedItem() const {
    return m_tree.SelectedRow() != nullptr;
}

int CQtTreeSelection::GetSelectedServer(const protocol::GameRecord** game,
                                        const protocol::ServerGroup** group,
                                        const protocol::ServerEntry** server,
                                        const protocol::Endpoint** endpoint) {
    if (game == nullptr || group == nullptr || server == nullptr || endpoint == nullptr)
        return 0;
    return m_tree.GetSelectedServer(*game, *group, *server, *endpoint);
}

}  // namespace ui
