#include "frontend/server_item.h"

#include "platform/codepage.h"

namespace frontend {

std::string FServerItem::Text() const {
    return platform::AnsiToUtf8(label);
}

}  // namespace frontend
