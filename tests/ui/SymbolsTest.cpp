#include "ui/Symbols.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QPalette>
#include <QPixmap>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

using namespace Qt::StringLiterals;
using namespace tarnwick;

namespace {

const QStringList names = {u"folder"_s,
                           u"film"_s,
                           u"tablecells"_s,
                           u"xmark"_s,
                           u"checkmark"_s,
                           u"checkmark.circle"_s,
                           u"checkmark.circle.fill"_s,
                           u"mic"_s,
                           u"mic.fill"_s,
                           u"mic.badge.plus"_s,
                           u"record.circle.fill"_s,
                           u"play.fill"_s,
                           u"pause.fill"_s,
                           u"trash"_s,
                           u"doc.on.doc"_s,
                           u"scissors"_s};

const QString recordingLight = u"record.circle.fill"_s;

QPalette makePalette(QColor window, QColor text, QColor disabledText, QColor highlightedText)
{
    QPalette palette(window);
    palette.setColor(QPalette::ButtonText, text);
    palette.setColor(QPalette::Disabled, QPalette::ButtonText, disabledText);
    palette.setColor(QPalette::HighlightedText, highlightedText);
    return palette;
}

QPalette lightPalette()
{
    return makePalette(QColor(238, 238, 238), Qt::black, QColor(150, 150, 150), Qt::white);
}

QPalette darkPalette()
{
    return makePalette(QColor(43, 43, 43), QColor(235, 235, 235), QColor(100, 100, 100), QColor(255, 220, 0));
}

QImage render(const QIcon &icon, int size, QIcon::Mode mode = QIcon::Normal)
{
    return icon.pixmap(QSize(size, size), 1.0, mode).toImage().convertToFormat(QImage::Format_ARGB32);
}

// What was painted: the pixels at least half covered, their average colour and bounds.
struct Ink
{
    int pixels = 0;
    QColor average;
    QRect bounds;
};

Ink inkOf(const QImage &image)
{
    Ink ink;
    long red = 0, green = 0, blue = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor pixel = image.pixelColor(x, y);
            if (pixel.alpha() < 128)
                continue;
            ++ink.pixels;
            red += pixel.red();
            green += pixel.green();
            blue += pixel.blue();
            ink.bounds |= QRect(x, y, 1, 1);
        }
    if (ink.pixels > 0)
        ink.average = QColor(int(red / ink.pixels), int(green / ink.pixels), int(blue / ink.pixels));
    return ink;
}

bool near(QColor a, QColor b, int tolerance = 12)
{
    return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance &&
           std::abs(a.blue() - b.blue()) <= tolerance;
}

int differingPixels(const QImage &a, const QImage &b)
{
    int count = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            count += std::abs(a.pixelColor(x, y).alpha() - b.pixelColor(x, y).alpha()) > 96;
    return count;
}

// No icon theme is reachable, so every symbol must be the program's own drawing. An empty list
// of search paths would bring back the defaults, so the only path is an empty folder.
class SymbolsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_noIcons.isValid());
        QIcon::setThemeSearchPaths({m_noIcons.path()});
        QIcon::setFallbackSearchPaths({m_noIcons.path()});
        QIcon::setThemeName({});
        QApplication::setPalette(lightPalette());
        for (const QString &theme : {u"folder-open"_s, u"edit-cut"_s, u"media-record"_s, u"user-trash"_s})
            ASSERT_FALSE(QIcon::hasThemeIcon(theme)) << theme.toStdString() << " still comes from a theme";
    }

    void TearDown() override
    {
        QIcon::setThemeSearchPaths(m_searchPaths);
        QIcon::setFallbackSearchPaths(m_fallbackPaths);
        QIcon::setThemeName(m_theme);
        QApplication::setPalette(m_palette);
    }

private:
    QTemporaryDir m_noIcons;
    QStringList m_searchPaths = QIcon::themeSearchPaths();
    QStringList m_fallbackPaths = QIcon::fallbackSearchPaths();
    QString m_theme = QIcon::themeName();
    QPalette m_palette = QApplication::palette();
};

// --- every name is drawn, at small and large sizes ---------------------------------------

TEST_F(SymbolsTest, EveryNameIsDrawnAcrossTheSquareAtSmallAndLargeSizes)
{
    for (const QString &name : names) {
        SCOPED_TRACE(name.toStdString());
        const QIcon icon = symbol(name);
        ASSERT_FALSE(icon.isNull());
        EXPECT_TRUE(icon.name().isEmpty()) << "a theme answered for " << icon.name().toStdString();
        for (const int size : {16, 32}) {
            SCOPED_TRACE(size);
            const QImage image = render(icon, size);
            ASSERT_EQ(image.size(), QSize(size, size));
            const Ink ink = inkOf(image);
            EXPECT_GE(ink.pixels, size); // at least one line's worth
            EXPECT_LT(ink.pixels, size * size * 3 / 4);
            // A drawing left at its own units would sit in a corner or be cut off.
            EXPECT_GE(ink.bounds.width(), size / 2);
            EXPECT_GE(ink.bounds.height(), size / 2);
            EXPECT_GE(ink.bounds.left(), 1);
            EXPECT_GE(ink.bounds.top(), 1);
            EXPECT_LE(ink.bounds.right(), size - 2);
            EXPECT_LE(ink.bounds.bottom(), size - 2);
        }
    }
}

TEST_F(SymbolsTest, DifferentNamesHaveDifferentPictures)
{
    QList<QImage> images;
    for (const QString &name : names)
        images.append(render(symbol(name), 32));
    for (qsizetype i = 0; i < names.size(); ++i)
        for (qsizetype j = i + 1; j < names.size(); ++j) {
            SCOPED_TRACE((names[i] + u" / "_s + names[j]).toStdString());
            EXPECT_GE(differingPixels(images[i], images[j]), 20);
        }
}

TEST_F(SymbolsTest, UnknownNamesGiveNullIcons)
{
    for (const QString &name : {u""_s, u"microphone"_s, u"Mic"_s, u"mic.fill "_s, u"folder-open"_s}) {
        SCOPED_TRACE(name.toStdString());
        EXPECT_TRUE(symbol(name).isNull());
    }
}

// --- colours come from the palette of the moment, per mode -------------------------------

TEST_F(SymbolsTest, EachModeIsDrawnInItsPaletteColour)
{
    // Made under the light palette: switching palettes later must still change the ink.
    QList<QIcon> icons;
    for (const QString &name : names)
        icons.append(symbol(name));

    struct Case
    {
        const char *palette;
        QPalette colours;
        QIcon::Mode mode;
        QColor expected;
    };
    const Case cases[] = {
        {"light", lightPalette(), QIcon::Normal, Qt::black},
        {"light", lightPalette(), QIcon::Active, Qt::black},
        {"light", lightPalette(), QIcon::Disabled, QColor(150, 150, 150)},
        {"light", lightPalette(), QIcon::Selected, Qt::white},
        {"dark", darkPalette(), QIcon::Normal, QColor(235, 235, 235)},
        {"dark", darkPalette(), QIcon::Disabled, QColor(100, 100, 100)},
        {"dark", darkPalette(), QIcon::Selected, QColor(255, 220, 0)},
    };
    for (const Case &each : cases) {
        QApplication::setPalette(each.colours);
        for (qsizetype i = 0; i < names.size(); ++i) {
            SCOPED_TRACE(names[i].toStdString() + ' ' + each.palette + " mode " + std::to_string(each.mode));
            const bool red = names[i] == recordingLight && each.mode != QIcon::Disabled;
            const QColor ink = inkOf(render(icons[i], 32, each.mode)).average;
            EXPECT_TRUE(near(ink, red ? QColor(0xe0, 0x34, 0x2f) : each.expected, red ? 40 : 12))
                << ink.name().toStdString();
        }
    }
}

// --- the desktop's theme comes first -----------------------------------------------------

TEST_F(SymbolsTest, AThemeIconIsPreferredOverTheDrawing)
{
    const QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    const QDir theme(root.path() + u"/plain"_s);
    ASSERT_TRUE(theme.mkpath(u"16x16/actions"_s));
    QFile index(theme.filePath(u"index.theme"_s));
    ASSERT_TRUE(index.open(QIODevice::WriteOnly));
    index.write("[Icon Theme]\nName=Plain\nDirectories=16x16/actions\n\n"
                "[16x16/actions]\nSize=16\nType=Fixed\n");
    index.close();
    QImage green(16, 16, QImage::Format_ARGB32);
    green.fill(Qt::green);
    ASSERT_TRUE(green.save(theme.filePath(u"16x16/actions/edit-cut.png"_s)));

    QIcon::setThemeSearchPaths({root.path()});
    QIcon::setThemeName(u"plain"_s);
    const Ink ink = inkOf(render(symbol(u"scissors"_s), 16));
    EXPECT_EQ(ink.pixels, 16 * 16);
    EXPECT_TRUE(near(ink.average, Qt::green, 0)) << ink.average.name().toStdString();
    // The theme lacks a trash can, so that one is still drawn.
    EXPECT_TRUE(near(inkOf(render(symbol(u"trash"_s), 16)).average, Qt::black));
}

} // namespace
