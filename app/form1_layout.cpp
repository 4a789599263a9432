// The controls of the main window, created from one table of positions in
// twips (15 twips are one pixel at 96 dots per inch).

#include <QApplication>
#include <QFont>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <array>

#include "app/form1.h"
#include "app/progress_bar.h"
#include "filelist/file_list.h"

namespace mv::app {

namespace {

constexpr int kClientWidth = 8040;
constexpr int kClientHeight = 6690;

enum class Kind { List, Button, Progress, Frame, Text, Option };

struct ControlRow {
    const char* name;
    Kind kind;
    const char* container;  // null: the window itself
    int left, top, width, height;
    const char* text;
};

// In tab order.
constexpr std::array<ControlRow, 13> kControls{{
    {"ListView1", Kind::List, nullptr, 120, 120, 7800, 2535, ""},
    {"PushButton8", Kind::Button, nullptr, 120, 2750, 3840, 405, "Add XML File(s)"},
    {"PushButton9", Kind::Button, nullptr, 4080, 2750, 3840, 405, "Add All XML File(s) In Folder"},
    {"PushButton4", Kind::Button, nullptr, 120, 3260, 3840, 405, "Clear List"},
    {"PushButton5", Kind::Button, nullptr, 4080, 3260, 3840, 405, "Load Sample/Example Files"},
    {"PushButton7", Kind::Button, nullptr, 120, 5640, 7800, 405, "Start Converting"},
    {"ProgressBar1", Kind::Progress, nullptr, 120, 6160, 7800, 405, "Progress Bar"},
    {"Frame3", Kind::Frame, nullptr, 120, 3700, 7800, 1815, "Save Option"},
    {"Frame4", Kind::Frame, "Frame3", 480, 510, 6840, 810, ""},
    {"Text1", Kind::Text, "Frame4", 240, 300, 5670, 345, ""},
    {"PushButton1", Kind::Button, "Frame4", 6000, 300, 600, 345, "..."},
    {"Option1", Kind::Option, "Frame3", 240, 300, 3615, 255, "Save results to this folder:"},
    {"Option2", Kind::Option, "Frame3", 240, 1410, 3615, 255,
     "Save results in folder of original file"},
}};

int px(int twips) {
    return (twips + 7) / 15;
}

QFont arialBold(double points) {
    QFont font;
    font.setFamilies({QStringLiteral("Liberation Sans"), QStringLiteral("Arial")});
    font.setPointSizeF(points);
    font.setBold(true);
    return font;
}

void paintWhite(QWidget* widget) {
    fixColours(widget, Qt::white, Qt::black);
    widget->setAutoFillBackground(true);
}

QWidget* makeControl(const ControlRow& row, QWidget* parent) {
    const QString text = QString::fromLatin1(row.text);
    switch (row.kind) {
        case Kind::List:
            return new filelist::FileList(parent);
        case Kind::Button: {
            auto* button = new QPushButton(text, parent);
            button->setAutoDefault(false);
            return button;
        }
        case Kind::Progress: {
            auto* bar = new ProgressBar(parent);
            bar->setCaption(text);
            return bar;
        }
        case Kind::Frame: {
            auto* frame = new QGroupBox(text, parent);
            frame->setFocusPolicy(Qt::NoFocus);
            paintWhite(frame);
            return frame;
        }
        case Kind::Text:
            return new QLineEdit(parent);
        case Kind::Option: {
            // Unfilled: the frame's colour shows through, white or the skin's.
            auto* option = new QRadioButton(text, parent);
            fixColours(option, Qt::white, Qt::black);
            return option;
        }
    }
    return nullptr;
}

}  // namespace

// The platform style tints a frame's inside; a frame here is one flat colour,
// with its caption set into the top edge. Only a caption needs the margin
// above the border; a frame without one is drawn on its own rectangle.
void paintFrame(QGroupBox* frame, const QColor& background, const QColor& text) {
    const int captionMargin = frame->title().isEmpty() ? 0 : 7;
    frame->setStyleSheet(
        QStringLiteral("QGroupBox#%1 { background-color: %2; color: %3;"
                       " border: 1px solid #a8a8a8; border-radius: 3px; margin-top: %4px; }"
                       " QGroupBox#%1::title { subcontrol-origin: margin; left: 8px;"
                       " padding: 0 3px; }")
            .arg(frame->objectName(), background.name(), text.name())
            .arg(captionMargin));
}

// The surface and the text drawn on it in every state, a disabled text
// greyed towards the background. An option also paints its mark with the
// text roles of an input field; other controls keep those roles, which pass
// on to the list and the folder box inside.
void fixColours(QWidget* widget, const QColor& background, const QColor& text) {
    QPalette palette = widget->palette();
    const QColor greyed = QColor::fromRgbF((text.redF() + background.redF()) / 2,
                                           (text.greenF() + background.greenF()) / 2,
                                           (text.blueF() + background.blueF()) / 2);
    const bool mark = qobject_cast<QRadioButton*>(widget) != nullptr;
    const auto set = [&](QPalette::ColorRole surface, QPalette::ColorRole ink) {
        palette.setColor(surface, background);
        palette.setColor(ink, text);
        palette.setColor(QPalette::Disabled, ink, greyed);
    };
    set(QPalette::Window, QPalette::WindowText);
    if (mark) set(QPalette::Base, QPalette::Text);
    widget->setPalette(palette);
}

void fitCaption(QWidget* control) {
    // A push button's size hint asks for a minimum width; only its text and
    // a little room on either side must fit.
    const auto wanted = [&] {
        if (auto* frame = qobject_cast<QGroupBox*>(control)) {
            return frame->fontMetrics().horizontalAdvance(frame->title()) + 24;
        }
        if (auto* button = qobject_cast<QPushButton*>(control)) {
            return button->fontMetrics().horizontalAdvance(button->text()) + 8;
        }
        return control->sizeHint().width();
    };
    QFont font = control->font();
    constexpr double kSmallest = 6;
    while (wanted() > control->width() && font.pointSizeF() > kSmallest) {
        font.setPointSizeF(font.pointSizeF() - 0.25);
        control->setFont(font);
    }
}

void Form1::createControls() {
    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("Form1Client"));
    paintWhite(client);
    setCentralWidget(client);
    setFont(arialBold(9));
    setFixedSize(px(kClientWidth), px(kClientHeight));

    QWidget* previous = nullptr;
    for (const ControlRow& row : kControls) {
        QWidget* parent = row.container
                              ? client->findChild<QWidget*>(QString::fromLatin1(row.container))
                              : client;
        QWidget* control = makeControl(row, parent);
        control->setObjectName(QString::fromLatin1(row.name));
        // Set on each control: a frame's style sheet stops fonts passing down.
        control->setFont(arialBold(row.kind == Kind::Button ? 11.25 : 9));
        if (auto* frame = qobject_cast<QGroupBox*>(control)) {
            paintFrame(frame, Qt::white, Qt::black);
        }
        control->setGeometry(px(row.left), px(row.top), px(row.width), px(row.height));
        if (row.kind == Kind::Button || row.kind == Kind::Option || row.kind == Kind::Frame) {
            fitCaption(control);
        }
        if (control->focusPolicy() != Qt::NoFocus) {
            if (previous) setTabOrder(previous, control);
            previous = control;
        }
    }

    m_listView1 = client->findChild<filelist::FileList*>(QStringLiteral("ListView1"));
    // The list keeps the desktop's colours for its frame and header too,
    // not the window's fixed white, which would stand out in a dark palette.
    QPalette listColours = m_listView1->palette();
    const QPalette desktop = QApplication::palette();
    for (const QPalette::ColorGroup group :
         {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        for (const QPalette::ColorRole role : {QPalette::Window, QPalette::WindowText}) {
            listColours.setColor(group, role, desktop.color(group, role));
        }
    }
    m_listView1->setPalette(listColours);
    m_pushButton1 = client->findChild<QPushButton*>(QStringLiteral("PushButton1"));
    m_pushButton4 = client->findChild<QPushButton*>(QStringLiteral("PushButton4"));
    m_pushButton5 = client->findChild<QPushButton*>(QStringLiteral("PushButton5"));
    m_pushButton7 = client->findChild<QPushButton*>(QStringLiteral("PushButton7"));
    m_pushButton8 = client->findChild<QPushButton*>(QStringLiteral("PushButton8"));
    m_pushButton9 = client->findChild<QPushButton*>(QStringLiteral("PushButton9"));
    m_progressBar1 = client->findChild<ProgressBar*>(QStringLiteral("ProgressBar1"));
    m_frame3 = client->findChild<QGroupBox*>(QStringLiteral("Frame3"));
    m_frame4 = client->findChild<QGroupBox*>(QStringLiteral("Frame4"));
    m_text1 = client->findChild<QLineEdit*>(QStringLiteral("Text1"));
    m_option1 = client->findChild<QRadioButton*>(QStringLiteral("Option1"));
    m_option2 = client->findChild<QRadioButton*>(QStringLiteral("Option2"));
}

// What a screen reader says for each control: its name, and what it is for.
void Form1::setAccessibleTexts() {
    struct Texts {
        QWidget* control;
        const char* name;  // null: the control's caption
        const char* description;
    };
    const Texts texts[] = {
        {m_listView1, "XML files to convert", filelist::kListHint},
        {m_text1, "Output folder",
         "The folder the results are saved to when \"Save results to this folder:\" is on"},
        {m_pushButton1, "Choose output folder", "Opens a folder browser for the output folder"},
        {m_option1, nullptr, "Saves every result in the output folder"},
        {m_option2, nullptr, "Saves each result beside its XML file"},
        {m_progressBar1, "Progress", "The conversion's progress; its caption names the file"},
    };
    for (const Texts& t : texts) {
        if (t.name) t.control->setAccessibleName(QString::fromLatin1(t.name));
        t.control->setAccessibleDescription(QString::fromLatin1(t.description));
    }
}

}  // namespace mv::app
