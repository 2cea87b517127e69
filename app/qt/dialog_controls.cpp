#include "app/qt/dialog_controls.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QGroupBox>
#include <QImageReader>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <vector>

namespace {

// A group box drawn as dialog templates draw it: an etched frame whose top
// line runs through the middle of the title.
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

// Grows a control that is lower than a line of its font to one line, about
// the same middle (top for static text), so that no glyph is cut off.
QRect FitLine(const QRect& rect, const QFont& font, bool keepTop) {
    const int line = QFontMetrics(font).height();
    if (rect.height() >= line) {
        return rect;
    }
    const int top = keepTop ? rect.top() : rect.top() - (line - rect.height()) / 2;
    return {rect.left(), top, rect.width(), line};
}

// The Qt resource of an icon the templates name by number.
QString IconPath(int icon) {
    return QString::fromLatin1(icon == IDI_WINDOW ? ":/icons/window.png" : ":/icons/picture.png");
}

QString GroupName(int firstId) { return QStringLiteral("group%1").arg(firstId); }

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
            // A frame drawn behind the controls it surrounds.
            return new TemplateGroupBox(text, &parent);
        case ControlKind::kIcon: {
            // An icon control takes the icon's own size at its position.
            auto* label = new QLabel(&parent);
            const QPixmap pixmap = ImageFromFile(IconPath(control.icon));
            label->setPixmap(pixmap);
            label->setGeometry(QRect(rect.topLeft(), pixmap.size()));
            return label;
        }
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
    const DialogUnits units(font);

    std::vector<QRect> rects;
    rects.reserve(tmpl.controls.size());
    for (const ControlTemplate& control : tmpl.controls) {
        QRect rect = units.ToPixels(control);
        if (control.kind == ControlKind::kAutoRadioButton ||
            control.kind == ControlKind::kAutoCheckBox || control.kind == ControlKind::kText) {
            rect = FitLine(rect, font, control.kind == ControlKind::kText);
        }
        rects.push_back(rect);
    }

    // Group boxes first: a control that lies wholly inside one becomes its
    // child, at the same place on the dialog, so that accessibility tools
    // present the control within its group (and name the group as its
    // label). The box is a frame behind its controls and takes no focus.
    std::vector<QWidget*> boxes;
    for (std::size_t i = 0; i < tmpl.controls.size(); ++i) {
        const ControlTemplate& control = tmpl.controls[i];
        if (control.kind == ControlKind::kGroupBox) {
            QWidget* box = CreateControl(dialog, control, rects[i]);
            box->setFocusPolicy(Qt::NoFocus);
            box->setGeometry(rects[i]);
            box->lower();
            boxes.push_back(box);
        }
    }

    QWidget* previousInTabOrder = nullptr;
    QButtonGroup* radioGroup = nullptr;
    for (std::size_t i = 0; i < tmpl.controls.size(); ++i) {
        const ControlTemplate& control = tmpl.controls[i];
        if (control.kind == ControlKind::kGroupBox) {
            continue;
        }
        QWidget* parent = &dialog;
        QPoint origin;
        for (QWidget* box : boxes) {
            if (box->geometry().contains(rects[i])) {
                parent = box;
                origin = box->pos();
            }
        }
        const QRect rect = rects[i].translated(-origin);
        QWidget* widget = CreateControl(*parent, control, rect);
        if (control.kind != ControlKind::kIcon) {
            widget->setGeometry(rect);
        }
        if (control.id != IDC_STATIC) {
            widget->setObjectName(QString::number(control.id));
        }
        if (control.group) {
            radioGroup = nullptr;
        }
        if (auto* radio = qobject_cast<QRadioButton*>(widget)) {
            if (radioGroup == nullptr) {
                radioGroup = new QButtonGroup(&dialog);
                radioGroup->setObjectName(GroupName(control.id));
            }
            radioGroup->addButton(radio);
        }
        if (widget->focusPolicy() != Qt::NoFocus) {
            if (previousInTabOrder != nullptr) {
                QWidget::setTabOrder(previousInTabOrder, widget);
            }
            previousInTabOrder = widget;
        }
    }
    dialog.setFixedSize(units.ToPixels(tmpl));
}

QButtonGroup* RadioGroup(const QDialog& dialog, int firstId) {
    return dialog.findChild<QButtonGroup*>(GroupName(firstId), Qt::FindDirectChildrenOnly);
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
    icon.addPixmap(ImageFromFile(IconPath(IDI_WINDOW)));
    return icon;
}

QPixmap ImageFromFile(const QString& path) {
    QImageReader reader(path, QFileInfo(path).suffix().toLatin1());
    reader.setAutoDetectImageFormat(false);
    return QPixmap::fromImage(reader.read());
}
