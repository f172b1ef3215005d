// quend-skin-gen: draws the demo skin's bitmaps from Skin.ini: the window background with its
// title art, the text-box tile, every button in its four states, and the desktop icon. Control
// positions and file names come from the skin file itself, so art and layout cannot drift apart.
// Usage: quend-skin-gen SKIN_INI OUT_DIR [ICON_PNG]

#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/profile.h"

namespace {

constexpr int kWidth = 880;
constexpr int kHeight = 544;

const QColor kGoldLine(201, 162, 74);
const QColor kPanelFill(8, 10, 22, 200);
const QColor kParchment(216, 199, 160);

class SkinFile final {
public:
    explicit SkinFile(std::string path) : m_path(std::move(path)) {}

    std::string Value(const char* section, const std::string& key) const {
        std::array<char, 260> buffer{};
        platform::ReadProfileString(section, key.c_str(), "", buffer.data(), buffer.size(), m_path);
        if (buffer[0] == '\0') {
            std::fprintf(stderr, "quend-skin-gen: %s has no %s\n", m_path.c_str(), key.c_str());
            std::exit(2);
        }
        return buffer.data();
    }

    QRect Rect(const std::string& name) const {
        const auto number = [&](const char* suffix) {
            return std::atoi(Value("Size", name + suffix).c_str());
        };
        return {number("_x"), number("_y"), number("_width"), number("_height")};
    }

    // The image's file name: the value without its leading backslash.
    std::string FileName(const std::string& key) const {
        std::string value = Value("Skin", key);
        while (!value.empty() && (value.front() == '\\' || value.front() == '/'))
            value.erase(0, 1);
        return value;
    }

private:
    std::string m_path;
};

QFont SerifFont(int pixels, bool bold, double spacing = 0) {
    QFont font(QStringLiteral("DejaVu Serif"));
    font.setPixelSize(pixels);
    font.setBold(bold);
    if (spacing != 0)
        font.setLetterSpacing(QFont::AbsoluteSpacing, spacing);
    return font;
}

QFont SansFont(int pixels, bool bold) {
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
}

// A small linear congruential generator: the same stars on every build.
class Dice final {
public:
    int Next(int bound) {
        m_state = m_state * 1103515245u + 12345u;
        return static_cast<int>((m_state >> 16) % static_cast<unsigned>(bound));
    }

private:
    unsigned m_state = 20240917u;
};

void PaintSky(QPainter& p) {
    QLinearGradient sky(0, 0, 0, kHeight);
    sky.setColorAt(0.0, QColor(6, 10, 30));
    sky.setColorAt(0.35, QColor(28, 20, 58));
    sky.setColorAt(0.6, QColor(16, 12, 34));
    sky.setColorAt(1.0, QColor(5, 5, 12));
    p.fillRect(0, 0, kWidth, kHeight, sky);
    Dice dice;
    for (int i = 0; i < 260; ++i) {
        const int x = dice.Next(kWidth);
        const int y = dice.Next(kHeight * 2 / 5);
        const int light = 120 + dice.Next(135);
        p.setPen(QColor(light, light, std::min(255, light + 30)));
        p.drawPoint(x, y);
        if (dice.Next(9) == 0)
            p.drawPoint(x + 1, y);
    }
}

void PaintMoon(QPainter& p, QPointF centre, double radius, QColor core) {
    QRadialGradient glow(centre, radius * 2.6);
    glow.setColorAt(0.0, QColor(core.red(), core.green(), core.blue(), 90));
    glow.setColorAt(1.0, QColor(core.red(), core.green(), core.blue(), 0));
    p.setPen(Qt::NoPen);
    p.setBrush(glow);
    p.drawEllipse(centre, radius * 2.6, radius * 2.6);
    QRadialGradient disc(centre - QPointF(radius / 3, radius / 3), radius * 1.3);
    disc.setColorAt(0.0, core.lighter(125));
    disc.setColorAt(1.0, core.darker(140));
    p.setBrush(disc);
    p.drawEllipse(centre, radius, radius);
}

void PaintMountains(QPainter& p) {
    const std::array<std::array<QPointF, 9>, 2> ridges{{
        {{{0, 190},
          {90, 140},
          {180, 176},
          {290, 118},
          {400, 170},
          {520, 128},
          {640, 180},
          {760, 132},
          {880, 170}}},
        {{{0, 214},
          {120, 172},
          {230, 206},
          {350, 160},
          {470, 204},
          {590, 168},
          {700, 210},
          {800, 176},
          {880, 200}}},
    }};
    const std::array<QColor, 2> colours{QColor(44, 32, 74), QColor(20, 15, 36)};
    for (std::size_t layer = 0; layer < ridges.size(); ++layer) {
        QPainterPath path;
        path.moveTo(0, kHeight);
        for (const QPointF& point : ridges[layer])
            path.lineTo(point);
        path.lineTo(kWidth, kHeight);
        path.closeSubpath();
        p.fillPath(path, colours[layer]);
    }
}

void PaintTitle(QPainter& p) {
    const QFont font = SerifFont(58, true, 6);
    QPainterPath text;
    text.addText(0, 0, font, QStringLiteral("QUENDALOR"));
    const QRectF box = text.boundingRect();
    text.translate((kWidth - box.width()) / 2 - box.left(), 112);
    p.fillPath(text.translated(3, 4), QColor(0, 0, 0, 170));
    QLinearGradient gold(0, 112 - box.height(), 0, 112);
    gold.setColorAt(0.0, QColor(255, 246, 200));
    gold.setColorAt(0.45, QColor(236, 190, 80));
    gold.setColorAt(0.55, QColor(190, 130, 40));
    gold.setColorAt(1.0, QColor(250, 214, 120));
    p.setPen(QPen(QColor(70, 40, 8), 2));
    p.setBrush(gold);
    p.drawPath(text);
    p.setFont(SerifFont(14, false, 5));
    p.setPen(kParchment);
    p.drawText(QRect(0, 124, kWidth, 22), Qt::AlignCenter,
               QStringLiteral("REALM OF THE TWIN MOONS"));
}

void PaintPanel(QPainter& p, const QRect& frame, const QString& title) {
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(QPen(kGoldLine, 1.5));
    p.setBrush(kPanelFill);
    p.drawRoundedRect(QRectF(frame).adjusted(0.5, 0.5, -0.5, -0.5), 8, 8);
    if (title.isEmpty())
        return;
    p.setFont(SerifFont(14, true, 3));
    p.setPen(QColor(240, 205, 120));
    p.drawText(frame.adjusted(14, 6, -14, 0), Qt::AlignLeft | Qt::AlignTop, title);
    p.setPen(QPen(QColor(201, 162, 74, 120), 1));
    p.drawLine(frame.left() + 12, frame.top() + 27, frame.right() - 12, frame.top() + 27);
}

void PaintNews(QPainter& p, const QRect& notice) {
    const std::array<const char*, 4> lines{
        "Twin Moon Festival: double experience all week",
        "Version 1.0.3: the Ember Valley map and new quests",
        "New servers opened on the Telecom and Unicom lines",
        "Maintenance every Tuesday from 06:00 to 08:00",
    };
    p.setFont(SansFont(12, false));
    int y = notice.top() + 4;
    for (const char* line : lines) {
        p.setPen(QColor(240, 205, 120));
        p.drawText(notice.left() + 2, y + 12, QStringLiteral("\u25C6"));
        p.setPen(kParchment);
        p.drawText(notice.left() + 20, y + 12, QString::fromUtf8(line));
        y += 22;
    }
}

void PaintTrack(QPainter& p, const QRect& rect) {
    p.setPen(QPen(QColor(90, 72, 36), 1));
    p.setBrush(QColor(0, 0, 0, 160));
    p.drawRect(QRectF(rect).adjusted(-1.5, -1.5, 0.5, 0.5));
}

QImage PaintBackground(const SkinFile& skin) {
    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setRenderHint(QPainter::TextAntialiasing, true);
    PaintSky(p);
    PaintMoon(p, {800, 100}, 42, QColor(236, 232, 214));
    PaintMoon(p, {720, 62}, 14, QColor(214, 120, 96));
    PaintMountains(p);
    // Title bar behind the small buttons.
    p.fillRect(0, 0, kWidth, 44, QColor(0, 0, 0, 150));
    p.fillRect(0, 43, kWidth, 1, kGoldLine);
    PaintTitle(p);

    const QRect left = skin.Rect("LSVRTree");
    const QRect right = skin.Rect("RSVRTree");
    PaintPanel(p, QRect(16, 168, right.right() + 12 - 16, left.bottom() + 12 - 168),
               QStringLiteral("SERVERS"));
    const QRect notice = skin.Rect("Notice");
    PaintPanel(p, QRect(472, 168, 392, notice.bottom() + 8 - 168), QStringLiteral("NEWS"));
    PaintNews(p, notice);
    const QRect user = skin.Rect("UserName");
    const QRect password = skin.Rect("Password");
    PaintPanel(p, QRect(472, 334, 392, password.bottom() + 14 - 334), QStringLiteral("ACCOUNT"));
    p.setFont(SansFont(13, true));
    p.setPen(kParchment);
    p.drawText(QRect(488, user.top(), user.left() - 496, user.height()),
               Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("User name"));
    p.drawText(QRect(488, password.top(), password.left() - 496, password.height()),
               Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("Password"));
    PaintTrack(p, skin.Rect("FileView"));
    PaintTrack(p, skin.Rect("DownProgress"));
    PaintTrack(p, skin.Rect("TotalProgress"));
    p.setFont(SansFont(10, false));
    p.setPen(QColor(150, 140, 120));
    p.drawText(QRect(16, kHeight - 22, 620, 18), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("Quendalor demo skin \u00B7 drawn by quend-skin-gen"));
    return image;
}

enum class State { Normal, Over, Push, Disable };

struct Shade {
    QColor top, middle, bottom, text;
};

Shade ShadeOf(State state) {
    switch (state) {
        case State::Over:
            return {QColor(255, 244, 186), QColor(242, 198, 92), QColor(186, 132, 40),
                    QColor(58, 32, 4)};
        case State::Push:
            return {QColor(150, 104, 30), QColor(212, 164, 64), QColor(236, 196, 100),
                    QColor(48, 26, 2)};
        case State::Disable:
            return {QColor(140, 134, 120), QColor(108, 103, 92), QColor(78, 74, 66),
                    QColor(46, 44, 40)};
        case State::Normal:
            break;
    }
    return {QColor(248, 226, 140), QColor(218, 170, 64), QColor(156, 106, 28), QColor(59, 36, 5)};
}

// The button drawn over the background it covers, so its rounded corners blend in.
QImage PaintButton(const QImage& background, const QRect& rect, const QString& label, State state) {
    QImage image = background.copy(rect);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, true);
    const Shade shade = ShadeOf(state);
    const QRectF body = QRectF(0, 0, rect.width(), rect.height()).adjusted(1, 1, -1, -1);
    const double radius = std::min(8.0, rect.height() / 4.0);
    if (state == State::Over) {
        p.setPen(QPen(QColor(255, 220, 120, 110), 3));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(body, radius, radius);
    }
    QLinearGradient fill(0, 0, 0, rect.height());
    fill.setColorAt(0.0, shade.top);
    fill.setColorAt(0.5, shade.middle);
    fill.setColorAt(1.0, shade.bottom);
    p.setPen(QPen(QColor(72, 44, 8), 1.5));
    p.setBrush(fill);
    p.drawRoundedRect(body, radius, radius);
    p.setPen(QPen(QColor(255, 250, 220, state == State::Disable ? 40 : 110), 1));
    p.drawLine(QPointF(body.left() + radius, body.top() + 2),
               QPointF(body.right() - radius, body.top() + 2));

    const int shift = state == State::Push ? 1 : 0;
    const QRect textBox = QRect(shift, shift, rect.width(), rect.height());
    if (label.isEmpty()) {  // the exit button: a cross
        const QPointF c(rect.width() / 2.0 + shift, rect.height() / 2.0 + shift);
        const double d = rect.height() / 5.0;
        p.setPen(QPen(shade.text, 2.5, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(c + QPointF(-d, -d), c + QPointF(d, d));
        p.drawLine(c + QPointF(-d, d), c + QPointF(d, -d));
        return image;
    }
    const int pixels = rect.height() >= 40 ? 24 : 12;
    p.setFont(SerifFont(pixels, true, rect.height() >= 40 ? 4 : 1.5));
    if (state != State::Disable) {
        p.setPen(QColor(255, 240, 190, 150));
        p.drawText(textBox.translated(0, 1), Qt::AlignCenter, label);
    }
    p.setPen(shade.text);
    p.drawText(textBox, Qt::AlignCenter, label);
    return image;
}

QImage PaintTextBox(const QRect& rect) {
    QImage image(rect.size(), QImage::Format_RGB32);
    image.fill(QColor(12, 12, 22));
    QPainter p(&image);
    QLinearGradient shadow(0, 0, 0, 6);
    shadow.setColorAt(0.0, QColor(0, 0, 0, 200));
    shadow.setColorAt(1.0, QColor(0, 0, 0, 0));
    p.fillRect(0, 0, rect.width(), 6, shadow);
    p.setPen(QColor(107, 90, 51));
    p.drawRect(0, 0, rect.width() - 1, rect.height() - 1);
    return image;
}

QImage PaintIcon() {
    QImage image(256, 256, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, true);
    QRadialGradient night(QPointF(110, 90), 170);
    night.setColorAt(0.0, QColor(48, 36, 96));
    night.setColorAt(1.0, QColor(8, 8, 24));
    QLinearGradient ring(0, 0, 0, 256);
    ring.setColorAt(0.0, QColor(255, 236, 160));
    ring.setColorAt(0.5, QColor(214, 160, 56));
    ring.setColorAt(1.0, QColor(140, 92, 20));
    p.setPen(QPen(QBrush(ring), 14));
    p.setBrush(night);
    p.drawEllipse(QRectF(12, 12, 232, 232));
    PaintMoon(p, {182, 78}, 20, QColor(236, 232, 214));
    QPainterPath letter;
    letter.addText(0, 0, SerifFont(170, true), QStringLiteral("Q"));
    const QRectF box = letter.boundingRect();
    letter.translate(128 - box.center().x(), 132 - box.center().y());
    p.setPen(QPen(QColor(60, 34, 6), 4));
    p.setBrush(QBrush(ring));
    p.drawPath(letter);
    return image;
}

void Save(const QImage& image, const std::filesystem::path& path) {
    // The launcher loads bitmaps: 24 bits per pixel, no alpha.
    const QImage opaque = image.convertToFormat(QImage::Format_RGB888);
    if (!opaque.save(QString::fromStdString(path.string()), "BMP")) {
        std::fprintf(stderr, "quend-skin-gen: cannot write %s\n", path.c_str());
        std::exit(2);
    }
}

void SaveButtons(const SkinFile& skin, const QImage& background, const std::filesystem::path& out,
                 const std::string& base, const std::string& rectName, const QString& label) {
    const QRect rect = skin.Rect(rectName);
    const std::array<std::pair<const char*, State>, 4> states{{{"Normal", State::Normal},
                                                               {"Over", State::Over},
                                                               {"Push", State::Push},
                                                               {"Disable", State::Disable}}};
    for (const auto& [suffix, state] : states)
        Save(PaintButton(background, rect, label, state), out / skin.FileName(base + suffix));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3 || argc > 4) {
        std::fprintf(stderr, "usage: quend-skin-gen SKIN_INI OUT_DIR [ICON_PNG]\n");
        return 1;
    }
    // Drawing needs no screen.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const SkinFile skin(argv[1]);
    const std::filesystem::path out(argv[2]);
    std::filesystem::create_directories(out);

    const QImage background = PaintBackground(skin);
    Save(background, out / skin.FileName("MainDialog"));
    Save(PaintTextBox(skin.Rect("UserName")), out / skin.FileName("TextBox"));
    SaveButtons(skin, background, out, "Start", "GameButton", QStringLiteral("START"));
    SaveButtons(skin, background, out, "Update", "GameButton", QStringLiteral("UPDATE"));
    SaveButtons(skin, background, out, "Home", "Home", QStringLiteral("HOME"));
    SaveButtons(skin, background, out, "Help", "Help", QStringLiteral("SUPPORT"));
    SaveButtons(skin, background, out, "Exit", "Exit", QString());
    if (argc == 4 && !PaintIcon().save(QString::fromUtf8(argv[3]), "PNG")) {
        std::fprintf(stderr, "quend-skin-gen: cannot write %s\n", argv[3]);
        return 2;
    }
    return 0;
}
