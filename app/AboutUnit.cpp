#include "AboutUnit.h"

#include "BuildVersion.h"
#include "ReadmeViewer.h"
#include "WindowPlacement.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QMouseEvent>
#include <QPushButton>
#include <QShowEvent>

LinkLabel::LinkLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {
    QPalette colours = palette();
    colours.setColor(QPalette::WindowText, QColor(0, 0, 255));
    setPalette(colours);
    setCursor(Qt::PointingHandCursor);
    adjustSize();
}

void LinkLabel::mouseReleaseEvent(QMouseEvent* event) {
    QLabel::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
}

UrlOpener DesktopUrlOpener() {
    // The README is the station's own file: shown by the station, since a desktop may have
    // no program for it and then shows nothing.
    return [](const QUrl& url) {
        if (url.isLocalFile())
            ShowReadme(url, QApplication::activeModalWidget());
        else
            QDesktopServices::openUrl(url);
    };
}

namespace {

// README.md as installed with the station: beside the program (a Windows folder), else in
// the documentation folder next to its bin/ (share/doc/tavrona, where the build folder has
// a copy too). Never a path of the machine that built it.
QString ReadmePath() {
    const QDir exeDir(QCoreApplication::applicationDirPath());
    const QStringList candidates = {
        exeDir.filePath("README.md"),
        exeDir.filePath("../share/doc/tavrona/README.md"),
    };
    for (const QString& path : candidates) {
        if (QFileInfo::exists(path))
            return QDir::cleanPath(path);
    }
    return QDir::cleanPath(candidates.last());
}

} // namespace

QUrl ReadmeUrl() {
    return QUrl::fromLocalFile(ReadmePath());
}

QUrl ReportProblemUrl() {
    QUrl url = ReadmeUrl();
    url.setFragment(QStringLiteral("reporting-a-problem"));
    return url;
}

TFormAbout::TFormAbout(QWidget* parent, UrlOpener openUrl)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint),
      openUrl_(std::move(openUrl)) {
    // The emblem lives in the app library's resources; a static library must pull them in.
    Q_INIT_RESOURCE(app);
    setWindowTitle(QStringLiteral("About"));
    setFixedSize(273, 171);
    setModal(true);
    FormCreate();
}

void TFormAbout::FormCreate() {
    auto* panel = new QFrame(this);
    panel->setGeometry(2, 3, 265, 129);
    panel->setFrameStyle(QFrame::Box | QFrame::Sunken); // lowered outside, raised inside

    Image1 = new QLabel(panel);
    Image1->setGeometry(8, 8, 63, 63);
    Image1->setAlignment(Qt::AlignCenter);
    Image1->setPixmap(QPixmap(QStringLiteral(":/emblem.png")));

    ProgName = new QLabel(QStringLiteral("Quorvel"), panel);
    QFont bold; // only the weight is set; the rest comes from the application font
    bold.setBold(true);
    ProgName->setFont(bold);
    ProgName->move(80, 8);

    LabelVersion = new QLabel(QStringLiteral("Version %1").arg(QLatin1String(VersionText)), panel);
    LabelVersion->move(80, 24);
    // The build beside the version the dialog has always shown: what a problem report needs.
    LabelBuild =
        new QLabel(QStringLiteral("Build %1").arg(QLatin1String(kBuildVersionText)), panel);
    LabelBuild->setObjectName("LabelBuild");
    LabelBuild->setTextInteractionFlags(Qt::TextSelectableByMouse);
    LabelBuild->move(80, 50);

    const QRect lines[] = {{77, 41, 178, 2}, {8, 77, 247, 2}};
    for (const QRect& place : lines) {
        auto* line = new QFrame(panel);
        line->setFrameStyle(QFrame::HLine | QFrame::Sunken);
        line->setGeometry(place);
    }

    Label6 = new LinkLabel(QStringLiteral("Station README"), panel);
    Label6->move(10, 95);
    connect(Label6, &LinkLabel::clicked, this, [this] { Label6Click(); });
    Label7 = new LinkLabel(QStringLiteral("Report a problem"), panel);
    Label7->move(10, 108);
    connect(Label7, &LinkLabel::clicked, this, [this] { Label7Click(); });

    ButtonOk = new QPushButton(QStringLiteral("Ok"), this);
    ButtonOk->setGeometry(185, 138, 75, 25);
    ButtonOk->setDefault(true);
    connect(ButtonOk, &QPushButton::clicked, this, [this] { ButtonOkClick(); });
}

void TFormAbout::Label6Click() {
    if (openUrl_)
        openUrl_(ReadmeUrl());
}

void TFormAbout::Label7Click() {
    if (openUrl_)
        openUrl_(ReportProblemUrl());
}

void TFormAbout::ButtonOkClick() {
    accept();
}

void TFormAbout::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (event->spontaneous())
        return;
    CentreOnScreen(*this);
}
