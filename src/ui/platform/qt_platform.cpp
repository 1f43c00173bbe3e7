#include "ui/platform/qt_platform.h"

#include <QApplication>
#include <QClipboard>
#include <QGuiApplication>
#include <QFontMetrics>
#include <QDialog>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QStyle>

#include <algorithm>

#include "ui/platform/qt_support.h"
#include "ui/widgets.h"

namespace lv {

namespace {

QString titleOf(std::string_view title) { return title.empty() ? QStringLiteral("Lumavist") : fromLocal(title); }

// Message texts carry CR LF (or CR) line breaks; a message box wants plain line feeds.
QString boxText(std::string_view text)
{
    return fromLocal(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace('\r', '\n');
}

}  // namespace

QString wrapToWidth(const QString& text, const QFontMetrics& metrics, int width)
{
    QStringList out;
    for (const QString& line : text.split('\n')) {
        QString rest = line;
        while (metrics.horizontalAdvance(rest) > width && rest.size() > 1) {
            // The longest start that fits, broken after a blank or a path separator
            // when there is one, otherwise between two characters.
            int fit = 1;
            while (fit < rest.size() && metrics.horizontalAdvance(rest.left(fit + 1)) <= width) ++fit;
            int cut = fit;
            for (int i = fit; i > 0; --i) {
                const QChar c = rest.at(i - 1);
                if (c == ' ' || c == '/' || c == '\\') {
                    cut = i;
                    break;
                }
            }
            QString head = rest.left(cut);
            // A blank at the break becomes the line break.
            if (head.endsWith(' ') && head.size() > 1) head.chop(1);
            out.push_back(head);
            rest = rest.mid(cut);
        }
        out.push_back(rest);
    }
    return out.join('\n');
}

std::unique_ptr<QDialog> messageBox(QWidget* parent, BoxKind kind, std::string_view title, std::string_view text)
{
    auto box = std::make_unique<QDialog>(parent);
    box->setWindowTitle(titleOf(title));
    box->setModal(true);
    const QStyle::StandardPixmap sign = kind == BoxKind::Error      ? QStyle::SP_MessageBoxWarning
                                        : kind == BoxKind::Question ? QStyle::SP_MessageBoxQuestion
                                                                    : QStyle::SP_MessageBoxInformation;
    auto* icon = new QLabel(box.get());
    icon->setObjectName("qt_msgbox_icon_label");
    const int iconSize = box->style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, box.get());
    icon->setPixmap(box->style()->standardIcon(sign, nullptr, box.get()).pixmap(iconSize, iconSize));
    icon->setAlignment(Qt::AlignTop | Qt::AlignHCenter);

    auto* label = new QLabel(box.get());
    label->setObjectName("qt_msgbox_label");
    label->setTextFormat(Qt::PlainText);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // As wide as the text needs, up to the screen; longer lines wrap, long
    // paths after a separator.
    const QScreen* screen = parent && parent->screen() ? parent->screen() : QGuiApplication::primaryScreen();
    const int screenWidth = screen ? screen->availableGeometry().width() : 1024;
    const int room = std::max(200, screenWidth - iconSize - 100);
    label->setText(wrapToWidth(boxText(text), label->fontMetrics(), room));

    auto* buttons = new QDialogButtonBox(box.get());
    buttons->addButton(QDialogButtonBox::Ok)->setDefault(true);
    if (kind == BoxKind::Question) buttons->addButton(QDialogButtonBox::Cancel);
    QObject::connect(buttons, &QDialogButtonBox::accepted, box.get(), &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, box.get(), &QDialog::reject);

    auto* grid = new QGridLayout(box.get());
    grid->addWidget(icon, 0, 0, Qt::AlignTop);
    grid->addWidget(label, 0, 1, Qt::AlignLeft | Qt::AlignTop);
    grid->addWidget(buttons, 1, 0, 1, 2);
    grid->setColumnStretch(1, 1);
    grid->setHorizontalSpacing(16);
    // At least as wide as the title, so that it shows whole too.
    box->setMinimumWidth(std::min(room, captionWidth(box.get())));
    // Sized here: a window left to size itself stays within two thirds of the screen.
    const QSize screenSize = screen ? screen->availableGeometry().size() : QSize(1024, 768);
    box->resize(box->sizeHint().expandedTo(box->minimumSizeHint()).boundedTo(screenSize - QSize(16, 48)));
    return box;
}

namespace {

int showBox(QWidget* parent, BoxKind kind, std::string_view title, std::string_view text)
{
    return messageBox(parent, kind, title, text)->exec();
}

}  // namespace

void QtPlatform::message(std::string_view text, std::string_view title)
{
    showBox(parent_, BoxKind::Message, title, text);
}

void QtPlatform::error(std::string_view text, std::string_view title)
{
    showBox(parent_, BoxKind::Error, title, text);
}

bool QtPlatform::askOkCancel(std::string_view text, std::string_view title)
{
    return showBox(parent_, BoxKind::Question, title, text) == QDialog::Accepted;
}

void QtPlatform::clearClipboard() { QGuiApplication::clipboard()->clear(); }

void QtPlatform::setClipboardText(std::string_view text) { QGuiApplication::clipboard()->setText(fromLocal(text)); }

void QtPlatform::setClipboardPicture(const RgbPicture& picture)
{
    QGuiApplication::clipboard()->setImage(toQImage(picture));
}

void QtPlatform::beep() { QApplication::beep(); }

void QtPlatform::setBusy(bool busy)
{
    if (busy)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

}  // namespace lv
