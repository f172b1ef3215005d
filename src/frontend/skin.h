#pragma once
// Reads the window's skin from Skin.ini: image paths under the resource folder, control
// rectangles, the four images of a button and the whole layout in the order a window reads it.
// Nothing is cached; every call reads the file anew. GUI thread only, because a missing value is
// reported in a message box.

#include <string>

namespace frontend {

// A control rectangle in client pixels of the main window.
struct SkinRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    int width() const { return right - left; }
    int height() const { return bottom - top; }
    bool operator==(const SkinRect&) const = default;
};

// The four images of a skinned button, as paths (data paths, ANSI, backslashes kept).
struct ButtonImages {
    std::string normal;
    std::string over;
    std::string push;
    std::string disable;

    // The image a button shows: pressed wins over hover, and hover over disabled, so a button
    // disabled by its own click handler keeps showing "Over" while the mouse stays on it.
    const std::string& For(bool pressed, bool hover, bool enabled) const;
};

// What the main window reads of the skin when it opens, after the background.
struct SkinLayout {
    SkinRect gameButton, downProgress, totalProgress, cashItem, notice, oneLineNotice, home, help,
        exit, userName, password;
    std::string userBox, passwordBox;  // the text boxes' tiled image
    SkinRect leftTree, rightTree, fileView;
    ButtonImages start, homeButton, helpButton, exitButton;
};

class CSkin final {
public:
    // `skinIni` is the file's path on disk; `resourcePath` is the data path that image names
    // are glued to (RESOURCE_DIR joined with LANGUAGE, backslashes kept).
    CSkin(std::string skinIni, std::string resourcePath);

    const std::string& SkinIni() const { return m_strSkinIni; }
    const std::string& ResourcePath() const { return m_strResourcePath; }

    // The value, or empty text after a "无法从%s中读取%s" message naming the file and the key.
    std::string GetSkinValue(const std::string& section, const std::string& key) const;

    // Empty when the "Skin" value of `name` is empty; else the resource path followed directly
    // by that value, with nothing added between them.
    std::string GetSkinImagePath(const std::string& name) const;

    // From name + "_x", "_y", "_width", "_height" of section "Size", read in that order, each as
    // atoi reads it.
    SkinRect GetSkinRect(const std::string& name) const;

    // The images of base + "Normal", "Over", "Push" and "Disable", read in this order.
    ButtonImages GetButtonImages(const std::string& base) const;

    // Every value a window places and styles its controls by, read in one fixed order: the eleven
    // stored rectangles, the text box image twice, the trees and the status box, then the image
    // sets "Start", "Home", "Help" and "Exit". A broken skin reports its keys in this order.
    SkinLayout ReadLayout() const;

private:
    std::string m_strSkinIni;
    std::string m_strResourcePath;
};

}  // namespace frontend
