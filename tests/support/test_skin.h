#pragma once
// A launcher installation for the window and program tests: a skin drawn with QImage (window
// background, text box and the five button sets), Skin.ini placing every control, and the
// language file in GBK. GUI thread only (images).

#include <filesystem>
#include <string>

namespace quend::test {

// Writes Skin.ini, Launcher.Chs and the images under "Res/Chs" into `folder`, and makes GBK the
// code page; answers `folder`. The skin's window is kWidth x kHeight.
std::filesystem::path WriteTestSkin(const std::filesystem::path& folder);

inline constexpr int kWidth = 640;
inline constexpr int kHeight = 400;

// The language file's texts, UTF-8, as the launcher shows them.
inline constexpr const char* kUnSelectServer = "请先选择服务器";
inline constexpr const char* kDisconnected = "与服务器的连接已断开";
inline constexpr const char* kConnectionFailed = "无法连接服务器";
inline constexpr const char* kUnsafeDownloadServer = "下载服务器不可用";

}  // namespace quend::test
