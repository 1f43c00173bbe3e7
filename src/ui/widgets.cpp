#include "ui/widgets.h"

#include "ui/platform/qt_support.h"

#include <QDir>
#include <QFontMetrics>
#include <QLayout>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTimer>
#include <QTreeView>

namespace lv {

QString literalCaption(const QString& caption)
{
    QString out = caption;
    out.replace("&", "&&");
    return out;
}

QPushButton* namedButton(const char* name, const QString& caption, QWidget* parent)
{
    auto* b = new QPushButton(literalCaption(caption), parent);
    b->setObjectName(name);
    b->setAutoDefault(false);
    return b;
}

QLabel* namedLabel(const char* name, const QString& caption, QWidget* parent)
{
    auto* l = new QLabel(caption, parent);
    l->setObjectName(name);
    return l;
}

QLineEdit* namedLineEdit(const char* name, const QString& text, QWidget* parent, bool readOnly)
{
    auto* t = new QLineEdit(text, parent);
    t->setObjectName(name);
    t->setReadOnly(readOnly);
    return t;
}

QMenu* namedMenu(QMenuBar* bar, const char* name, const QString& caption)
{
    QMenu* m = bar->addMenu(literalCaption(caption));
    m->setObjectName(name);
    m->menuAction()->setObjectName(name);
    return m;
}

QMenu* namedSubmenu(QMenu* menu, const char* name, const QString& caption)
{
    QMenu* m = menu->addMenu(literalCaption(caption));
    m->setObjectName(name);
    m->menuAction()->setObjectName(name);
    return m;
}

QAction* namedItem(QMenu* menu, const char* name, const QString& caption, bool checkable)
{
    QAction* a = menu->addAction(literalCaption(caption));
    a->setObjectName(name);
    a->setCheckable(checkable);
    return a;
}

QTreeView* folderTree(QWidget* owner, QFileSystemModel*& model)
{
    model = new QFileSystemModel(owner);
    model->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives);
    model->setRootPath(QString());
    auto* tree = new QTreeView;
    tree->setObjectName("Dir1");
    tree->setModel(model);
    for (int c = 1; c < model->columnCount(); ++c) tree->hideColumn(c);
    tree->header()->hide();
    // The model reads folders in the background: once the way to the folder
    // shown is read, it is opened, chosen and scrolled to.
    QObject::connect(model, &QFileSystemModel::directoryLoaded, tree, [tree, model] {
        // After the tree has laid out what was just read.
        QTimer::singleShot(0, tree, [tree, model] {
            const QString folder = tree->property("lumavistFolder").toString();
            if (!folder.isEmpty()) showFolder(tree, model, folder);
        });
    });
    return tree;
}

void showFolder(QTreeView* tree, QFileSystemModel* model, const QString& folder)
{
    // Kept for when the tree's folders have been read (see folderTree).
    tree->setProperty("lumavistFolder", folder);
    const QModelIndex index = model->index(folder);
    // The folder shown open in its tree, not the tree's root.
    for (QModelIndex up = index; up.isValid(); up = up.parent()) tree->expand(up);
    if (index.isValid() && tree->currentIndex() != index) tree->setCurrentIndex(index);
    tree->scrollTo(index, QAbstractItemView::PositionAtCenter);
}

int captionWidth(const QWidget* window)
{
    // The title font is the window system's; the application's bold font
    // is a fair stand-in, and 140 points leave room for the icon and buttons.
    QFont font = window->font();
    font.setBold(true);
    return QFontMetrics(font).horizontalAdvance(window->windowTitle()) + 140;
}

void fitCaption(QWidget* window)
{
    // Only the first size: the layout keeps its own minimum, so that the
    // user may make the window narrower than its caption but never cut a control.
    const int need = captionWidth(window);
    if (window->width() < need) window->resize(std::min(need, window->maximumWidth()), window->height());
}

QString breakablePath(const QString& path)
{
    // A zero-width space after a separator is a place to break, and shows nothing.
    QString out;
    for (const QChar c : path) {
        out += c;
        if (c == '/' || c == '\\') out += QChar(0x200B);
    }
    return out;
}

void markPlaced(QWidget* window) { window->setProperty("lumavistPlaced", true); }

bool isPlaced(const QWidget* window) { return window->property("lumavistPlaced").toBool(); }

void placeUnsaved(QWidget* window) { placeWindow(window, WindowPosition{}); }

void tick(std::initializer_list<QAction*> group, QAction* chosen)
{
    for (QAction* a : group) a->setChecked(a == chosen);
}

}  // namespace lv
