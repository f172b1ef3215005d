#include "frontend/skin.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <limits>
#include <utility>

#include "platform/message_box.h"
#include "platform/profile.h"

namespace frontend {
namespace {

int Clamp(long long value) {
    return static_cast<int>(std::clamp<long long>(value, std::numeric_limits<int>::min(),
                                                  std::numeric_limits<int>::max()));
}

// The profile service's buffer: at most 259 characters of a value are used.
constexpr std::size_t kValueBuffer = 260;

// atoi's reading (blanks, sign, leading digits, else 0), held to the range of int so that a
// huge number in the file cannot overflow.
int ReadNumber(const std::string& text) {
    return Clamp(std::strtoll(text.c_str(), nullptr, 10));
}

}  // namespace

CSkin::CSkin(std::string skinIni, std::string resourcePath)
    : m_strSkinIni(std::move(skinIni)), m_strResourcePath(std::move(resourcePath)) {}

std::string CSkin::GetSkinValue(const std::string& section, const std::string& key) const {
    std::array<char, kValueBuffer> value{};
    platform::ReadProfileString(section.c_str(), key.c_str(), "", value.data(), value.size(),
                                m_strSkinIni);
    if (value[0] != '\0') {
        return value.data();
    }
    const std::string text = "无法从" + m_strSkinIni + "中读取" + key;
    platform::ShowMessage(text);
    return {};
}

std::string CSkin::GetSkinImagePath(const std::string& name) const {
    std::string value = GetSkinValue("Skin", name);
    if (value.empty()) {
        return {};
    }
    return m_strResourcePath + value;
}

SkinRect CSkin::GetSkinRect(const std::string& name) const {
    const auto number = [&](const char* suffix) {
        return ReadNumber(GetSkinValue("Size", name + suffix));
    };
    SkinRect rect;
    rect.left = number("_x");
    rect.top = number("_y");
    rect.right = Clamp(static_cast<long long>(rect.left) + number("_width"));
    rect.bottom = Clamp(static_cast<long long>(rect.top) + number("_height"));
    return rect;
}

ButtonImages CSkin::GetButtonImages(const std::string& base) const {
    ButtonImages images;
    images.normal = GetSkinImagePath(base + "Normal");
    images.over = GetSkinImagePath(base + "Over");
    images.push = GetSkinImagePath(base + "Push");
    images.disable = GetSkinImagePath(base + "Disable");
    return images;
}

SkinLayout CSkin::ReadLayout() const {
    SkinLayout layout;
    layout.gameButton = GetSkinRect("GameButton");
    layout.downProgress = GetSkinRect("DownProgress");
    layout.totalProgress = GetSkinRect("TotalProgress");
    layout.cashItem = GetSkinRect("CashItem");
    layout.notice = GetSkinRect("Notice");
    layout.oneLineNotice = GetSkinRect("OneLineNotice");
    layout.home = GetSkinRect("Home");
    layout.help = GetSkinRect("Help");
    layout.exit = GetSkinRect("Exit");
    layout.userName = GetSkinRect("UserName");
    layout.password = GetSkinRect("Password");
    layout.userBox = GetSkinImagePath("TextBox");
    layout.passwordBox = GetSkinImagePath("TextBox");
    layout.leftTree = GetSkinRect("LSVRTree");
    layout.rightTree = GetSkinRect("RSVRTree");
    layout.fileView = GetSkinRect("FileView");
    layout.start = GetButtonImages("Start");
    layout.homeButton = GetButtonImages("Home");
    layout.helpButton = GetButtonImages("Help");
    layout.exitButton = GetButtonImages("Exit");
    return layout;
}

const std::string& ButtonImages::For(bool pressed, bool hover, bool enabled) const {
    if (pressed)
        return push;
    if (hover)
        return over;
    if (!enabled)
        return disable;
    return normal;
}

}  // namespace frontend
