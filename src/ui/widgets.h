// Making controls by their object names, and the one way every secondary
// window is (re)opened. Tests and the settings file find controls by these
// names, so every window builds its controls through here.
#pragma once

#include <QAction>
#include <QPointer>
#include <QString>

#include <initializer_list>

#include "core/settings.h"

class QLabel;
class QLineEdit;
class QMenu;
class QMenuBar;
class QFileSystemModel;
class QPushButton;
class QTreeView;
class QWidget;

namespace lv {

// Captions are shown as written: an "&" is not a shortcut marker.
QString literalCaption(const QString& caption);

QPushButton* namedButton(const char* name, const QString& caption, QWidget* parent = nullptr);
QLabel* namedLabel(const char* name, const QString& caption, QWidget* parent = nullptr);
QLineEdit* namedLineEdit(const char* name, const QString& text = {}, QWidget* parent = nullptr,
                         bool readOnly = false);

// Menus: the QMenu and its QAction both carry the menu's name.
QMenu* namedMenu(QMenuBar* bar, const char* name, const QString& caption);
QMenu* namedSubmenu(QMenu* menu, const char* name, const QString& caption);
QAction* namedItem(QMenu* menu, const char* name, const QString& caption, bool checkable = false);

// The folder list (Dir1) of the file dialog and the folder window: the
// folders of every drive as one tree. `model` receives the tree's model.
QTreeView* folderTree(QWidget* owner, QFileSystemModel*& model);
// Makes `folder` the tree's current item and shows it.
void showFolder(QTreeView* tree, QFileSystemModel* model, const QString& folder);

// A path that a word-wrapping label may break after each separator.
QString breakablePath(const QString& path);

// Ticks `chosen` and clears the rest of its group.
void tick(std::initializer_list<QAction*> group, QAction* chosen);

// Makes a window at first at least as wide as its caption needs in the
// title bar (with room for the window buttons), so that the caption shows whole.
void fitCaption(QWidget* window);
// The width a caption needs.
int captionWidth(const QWidget* window);

// A window that places itself (its saved place, or beside the click)
// says so here, so that reopen leaves it there.
void markPlaced(QWidget* window);
bool isPlaced(const QWidget* window);
// Places a window that has no saved place: over its parent, clear of the others.
void placeUnsaved(QWidget* window);

// Closes the window `slot` holds, if any, then makes the new one, keeps it
// in `slot` and shows it. The old window is closed before the new one is
// made, so what it stores on closing (its position) is there for the new one.
template <class W, class Make>
W* reopen(QPointer<W>& slot, Make make)
{
    if (slot) slot->close();
    W* window = make();
    slot = window;
    if (!isPlaced(window)) placeUnsaved(window);
    window->show();
    return window;
}

}  // namespace lv
