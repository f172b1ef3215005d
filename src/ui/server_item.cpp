#include "ui/server_item.h"

namespace ui {

const protocol::ServerGroup* FServerItem::Group() const {
    const auto* group = std::get_if<std::shared_ptr<const protocol::ServerGroup>>(&data);
    return group != nullptr ? group->get() : nullptr;
}

const protocol::ServerEntry* FServerItem::Server() const {
    const auto* server = std::get_if<std::shared_ptr<const protocol::ServerEntry>>(&data);
    return server != nullptr ? server->get() : nullptr;
}

}  // namespace ui
