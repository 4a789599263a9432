#include "extras/splash.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QFrame>
#include <QLabel>
#include <QPixmap>
#include <QTime>
#include <cmath>

#include "paths/paths.h"
#include "report/failure.h"
#include "ui/qt_text.h"

namespace mv::extras {

namespace {

constexpr double kSecondsPerDay = 86400;
constexpr int kShownSeconds = 4;

// Layout is given in twips; 15 make a pixel at 96 dots per inch.
int px(int twips) {
    return static_cast<int>(std::lround(twips / 15.0));
}

constexpr int kStripTwips = 300;  // below the picture, for the check box
constexpr int kCheckLeft = 120, kCheckWidth = 4215, kCheckHeight = 375, kCheckGap = 20;
constexpr int kLineEnd = 10000;  // the frame lines run past the window and are clipped

}  // namespace

double secondsSinceMidnight() {
    return QTime::currentTime().msecsSinceStartOfDay() / 1000.0;
}

void PauseSeconds(double seconds, const std::function<double()>& clock) {
    const double start = clock();
    while (true) {
        double now = clock();
        double elapsed = now >= start ? now - start : now + kSecondsPerDay - start;
        if (elapsed >= seconds) return;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
}

Splash::Splash(ui::Settings& settings, ui::ProgramFolder folder, Pause pause, QWidget* parent)
    : QWidget(parent, Qt::Window),
      m_settings(settings),
      m_folder(std::move(folder)),
      m_pause(pause ? std::move(pause) : Pause([](double s) { PauseSeconds(s); })) {
    setObjectName("Splash");
    m_image1 = new QLabel(this);
    m_image1->setObjectName("Image1");
    m_image1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_check1 = new QCheckBox(QStringLiteral("Hide this at next startup"), this);
    m_check1->setObjectName("Check1");
    QFont font(QStringLiteral("Liberation Sans"), 9);
    font.setBold(true);
    m_check1->setFont(font);
    for (int i = 0; i < 4; ++i) {
        m_lines[i] = new QFrame(this);
        m_lines[i]->setObjectName(QStringLiteral("Line%1").arg(i + 1));
        m_lines[i]->setFrameShape(i % 2 == 0 ? QFrame::VLine : QFrame::HLine);
        m_lines[i]->setStyleSheet(QStringLiteral("background: #5a6b7d; border: none;"));
    }
    connect(m_check1, &QCheckBox::clicked, this, &Splash::Check1_Click);
}

QString Splash::pictureFile() const {
    // The first plain file of the folder, in the order the file system lists them.
    QDir dir(m_folder.file(QStringLiteral("Splash")));
    const QStringList names = dir.entryList(QDir::Files | QDir::NoDotAndDotDot, QDir::Unsorted);
    return names.isEmpty() ? QString() : dir.filePath(names.first());
}

void Splash::SplashShow() {
    bool isNumber = false;
    double showAgain = m_settings.text(ui::SettingKey::ShowAgain).toDouble(&isNumber);
    if (!isNumber) throw report::Failure(report::FailureKind::TypeMismatch, "ShowAgain");
    if (showAgain != 0) return;
    QString file = pictureFile();
    if (file.isEmpty() || !paths::FileExists(ui::toU16(file))) return;
    setWindowTitle(QStringLiteral("Marrowvale"));
    QPixmap picture(file);
    if (picture.isNull()) {
        throw report::Failure(report::FailureKind::InvalidPicture, file.toStdString());
    }
    layOut(picture);
    show();
    m_pause(kShownSeconds);
    hide();
}

void Splash::layOut(const QPixmap& picture) {
    m_image1->setPixmap(picture);
    const int width = picture.width();
    const int height = picture.height() + px(kStripTwips);
    m_image1->setGeometry(0, 0, width, height);
    setFixedSize(width, height);
    m_check1->setGeometry(px(kCheckLeft), height - px(kCheckHeight) - px(kCheckGap),
                          px(kCheckWidth), px(kCheckHeight));
    m_lines[0]->setGeometry(0, 0, 1, px(kLineEnd));           // left edge
    m_lines[1]->setGeometry(0, 0, px(kLineEnd), 1);           // top edge
    m_lines[2]->setGeometry(width - 1, 0, 1, px(kLineEnd));   // right edge
    m_lines[3]->setGeometry(0, height - 1, px(kLineEnd), 1);  // bottom edge
}

void Splash::Check1_Click() {
    m_settings.setText(ui::SettingKey::ShowAgain,
                       m_check1->isChecked() ? QStringLiteral("1") : QStringLiteral("0"));
}

}  // namespace mv::extras
