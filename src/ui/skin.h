#pragma once
// Reads the window's skin from Skin.ini: image paths under the resource folder and control
// rectangles. Nothing is cached; every call reads the file anew. GUI thread only, because a
// missing value is reported in a message box.

#include <string>

namespace ui {

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

private:
    std::string m_strSkinIni;
    std::string m_strResourcePath;
};

}  // namespace ui
