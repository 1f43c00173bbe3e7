// Small bridges between the engine and Qt used by every window: 8-bit text,
// pictures, and window positions kept in the settings file.
#pragma once

#include <QImage>
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

// Places a top-level window at its saved position (twips), or centred on the
// screen when the settings file has none yet.
void placeWindow(QWidget* window, const WindowPosition& saved);

// The window's current left and top, in twips, for the settings file.
WindowPosition windowPosition(const QWidget* window);

}  // namespace lv
