// Small bridges between the engine and Qt used by every window: 8-bit text,
// pictures, and window positions kept in the settings file.
#pragma once

#include <QImage>
#include <QList>
#include <QString>
#include <QWidget>

#include <string>
#include <string_view>

#include "core/picture.h"
#include "core/settings.h"

namespace lv {

// Text passes through the engine in the system's 8-bit encoding.
inline QString fromLocal(std::string_view s) { return QString::fromLocal8Bit(s.data(), static_cast<qsizetype>(s.size())); }
inline std::string toLocal(const QString& s) { return s.toLocal8Bit().toStdString(); }

// The picture as a QImage (a deep copy).
QImage toQImage(const RgbPicture& picture);

// Gives a window that has not been shown its first size: what its layout asks
// for (or the size it was given, when larger), at least as wide as its
// caption needs, never larger than the screen.
void fitFirstSize(QWidget* window);

// Sizes a window that has not been shown (fitFirstSize) and places it at its
// saved position (twips; centred over its parent window when there is none),
// inside the screen. Where that place would cover another open window of the
// application, the window goes to the nearest place that covers none, or
// covers least; the windows in `keepClear` (the one the command came from)
// count most.
void placeWindow(QWidget* window, const WindowPosition& saved, const QList<const QWidget*>& keepClear = {});

// A window that grew (a longer text) moved back inside its screen.
void keepOnScreen(QWidget* window);

// The window's current left and top, in twips, for the settings file.
WindowPosition windowPosition(const QWidget* window);

}  // namespace lv
