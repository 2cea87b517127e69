#include "app/qt/dialog_controls.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QEvent>
#include <QFileInfo>
#include <QGroupBox>
#include <QImageReader>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <utility>
#include <vector>

namespace {

// A group box drawn as dialog templates draw it: an etched frame whose top
// line runs through the middle of the title. (Qt's styles draw the frame under
// the title: across the template's controls, or, the box moved up, with the
// title half a line above the template's.)
class TemplateGroupBox : public QGroupBox {
public:
    TemplateGroupBox(const QString& title, QWidget* parent) : QGroupBox(title, parent) {}

protected:
    void paintEvent(QPaintEvent* /*event*/) override {
        QPainter painter(this);
        const QFontMetrics metrics(font());
        const QRect frame = rect().adjusted(0, metrics.height() / 2, -1, -1);
        painter.setPen(palette().color(QPalette::Light));
        painter.drawRect(frame.adjusted(1, 1, 0, 0));
        painter.setPen(palette().color(QPalette::Mid));
        painter.drawRect(frame.adjusted(0, 0, -1, -1));
        const int indent = metrics.averageCharWidth();
        const QRect caption(indent, 0, metrics.horizontalAdvance(title()) + 4, metrics.height());
        painter.fillRect(caption, palette().window());
        painter.setPen(palette().color(QPalette::WindowText));
        painter.drawText(caption, Qt::AlignCenter, title());
    }
};

// A picture drawn by the window it lies on rather than made a widget of its
// own: it says nothing, so it stays out of the accessibility tree, where a
// screen reader would announce an image without a name.
class TemplatePicture : public QObject {
public:
    TemplatePicture(QWidget& window, QPoint pos, QPixmap pixmap)
        : QObject(&window), m_pos(pos), m_pixmap(std::move(pixmap)) {
        window.installEventFilter(this);
    }

protected:
    // Paints before the window's own paintEvent, over its background.
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            QPainter(static_cast<QWidget*>(watched)).drawPixmap(m_pos, m_pixmap);
        }
        return false;
    }

private:
    QPoint m_pos;
    QPixmap m_pixmap;
};

// Tab reaches a radio group at one button, as in a Windows dialog, where an
// automatic radio button takes the tab stop when it is checked: `button`
// takes it from the others.
void MoveTabStop(const QButtonGroup& group, QAbstractButton& button) {
    for (QAbstractButton* other : group.buttons()) {
        other->setFocusPolicy(other == &button ? Qt::StrongFocus : Qt::ClickFocus);
    }
}

// An exclusive group of radio buttons whose tab stop follows the checked one.
QButtonGroup* NewRadioGroup(QDialog& dialog) {
    auto* group = new QButtonGroup(&dialog);
    QObject::connect(group, &QButtonGroup::buttonToggled, group,
                     [group](QAbstractButton* button, bool checked) {
                         if (checked) {
                             MoveTabStop(*group, *button);
                         }
                     });
    return group;
}

// The control's widget at `rect` on `parent`, none for an icon.
QWidget* CreateControl(QWidget& parent, const ControlTemplate& control, const QRect& rect) {
    const QString text = QString::fromUtf8(control.text);
    switch (control.kind) {
        case ControlKind::kDefPushButton:
        case ControlKind::kPushButton: {
            auto* button = new QPushButton(text, &parent);
            button->setDefault(control.kind == ControlKind::kDefPushButton);
            return button;
        }
        case ControlKind::kAutoRadioButton:
            return new QRadioButton(text, &parent);
        case ControlKind::kAutoCheckBox:
            return new QCheckBox(text, &parent);
        case ControlKind::kGroupBox:
            return new TemplateGroupBox(text, &parent);
        case ControlKind::kIcon:
            // An icon control shows the icon in its own size at its position.
            new TemplatePicture(
                parent, rect.topLeft(),
                ImageFromFile(control.icon == IDI_WINDOW ? QStringLiteral(":/icons/window.png")
                                                         : QStringLiteral(":/icons/picture.png")));
            return nullptr;
        case ControlKind::kText: {
            auto* label = new QLabel(text, &parent);
            label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            return label;
        }
    }
    return nullptr;
}

}  // namespace

void CreateDialogControls(QDialog& dialog, const DialogTemplate& tmpl, const QFont& font) {
    dialog.setFont(font);
    dialog.setWindowTitle(QString::fromUtf8(tmpl.caption));
    const int line = QFontMetrics(font).height();
    const QSize base = DialogBaseUnits(font);
    std::vector<QRect> rects;
    for (const ControlTemplate& control : tmpl.controls) {
        QRect rect = DialogUnitsToPixels({control.x, control.y, control.cx, control.cy}, base);
        // A button or text lower than a line of its font grows to one, about
        // the same middle (text: the same top), so that no glyph is cut off.
        const bool text = control.kind == ControlKind::kText;
        if ((text || control.kind == ControlKind::kAutoRadioButton ||
             control.kind == ControlKind::kAutoCheckBox) &&
            rect.height() < line) {
            rect = {rect.left(), text ? rect.top() : rect.top() - (line - rect.height()) / 2,
                    rect.width(), line};
        }
        rects.push_back(rect);
    }

    // The widgets are made in tab order: the order of a window's children is
    // the order in which accessibility tools list them. A control that lies
    // wholly inside a group box becomes the box's child, at the same place on
    // the dialog, so that those tools present the control within its group
    // (and name the group as its label); the box is made just before the
    // first control it holds. (No control of a template overlaps a box
    // without lying inside it, so the order of painting does not matter.)
    std::vector<QWidget*> widgets(tmpl.controls.size(), nullptr);
    const auto create = [&](std::size_t i, QWidget& parent, QPoint origin) {
        const QRect rect = rects[i].translated(-origin);
        if (widgets[i] == nullptr) {
            widgets[i] = CreateControl(parent, tmpl.controls[i], rect);
            if (widgets[i] != nullptr) {
                widgets[i]->setGeometry(rect);
            }
        }
        return widgets[i];
    };
    QWidget* previousInTabOrder = nullptr;
    QButtonGroup* radioGroup = nullptr;
    for (std::size_t i = 0; i < tmpl.controls.size(); ++i) {
        const ControlTemplate& control = tmpl.controls[i];
        QWidget* parent = &dialog;
        QPoint origin;
        for (std::size_t box = 0; box < tmpl.controls.size(); ++box) {
            if (control.kind != ControlKind::kGroupBox &&
                tmpl.controls[box].kind == ControlKind::kGroupBox &&
                rects[box].contains(rects[i])) {
                parent = create(box, dialog, {});
                origin = rects[box].topLeft();
            }
        }
        QWidget* widget = create(i, *parent, origin);
        // A group box is a frame around its controls and takes no focus.
        if (widget == nullptr || control.kind == ControlKind::kGroupBox) {
            continue;
        }
        if (control.id != IDC_STATIC) {
            widget->setObjectName(QString::number(control.id));
        }
        if (control.group) {
            radioGroup = nullptr;
        }
        if (auto* radio = qobject_cast<QRadioButton*>(widget)) {
            if (radioGroup == nullptr) {
                radioGroup = NewRadioGroup(dialog);
            }
            radioGroup->addButton(radio);
            MoveTabStop(*radioGroup, *radioGroup->buttons().constFirst());
        }
        if (widget->focusPolicy() != Qt::NoFocus) {
            if (previousInTabOrder != nullptr) {
                QWidget::setTabOrder(previousInTabOrder, widget);
            }
            previousInTabOrder = widget;
        }
    }
    dialog.setFixedSize(DialogUnitsToPixels({0, 0, tmpl.cx, tmpl.cy}, base).size());
}

QIcon ProgramIcon() {
    QIcon icon;
    // Sizes up to 64 pixels: title bars, task bars and window switchers, also
    // at twice the scale. Launchers take the larger sizes from the icon
    // theme. Every size given is decoded and sent to the X server when the
    // window is made, so 128 and 256 would slow the start.
    for (const int size : {16, 24, 48, 64}) {
        icon.addPixmap(ImageFromFile(QStringLiteral(":/icons/window-%1.png").arg(size)));
    }
    icon.addPixmap(ImageFromFile(QStringLiteral(":/icons/window.png")));
    return icon;
}

QPixmap ImageFromFile(const QString& path) {
    QImageReader reader(path, QFileInfo(path).suffix().toLatin1());
    reader.setAutoDetectImageFormat(false);
    return QPixmap::fromImage(reader.read());
}
