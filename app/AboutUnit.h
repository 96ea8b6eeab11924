#pragma once
// The About dialog: emblem, product name, version and two links to the project's pages.

#include <QDialog>
#include <QLabel>
#include <QUrl>

#include <functional>

inline constexpr const char* VersionText = "05.12.2012";

class QPushButton;

// A label that reads as a link: blue, not underlined, hand cursor; a left click on it
// emits clicked().
class LinkLabel : public QLabel {
    Q_OBJECT
public:
    explicit LinkLabel(const QString& text, QWidget* parent = nullptr);
signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
};

// Shows the station's own files (the README) in the station's viewer and hands any other
// address to the desktop's default handler.
using UrlOpener = std::function<void(const QUrl&)>;
UrlOpener DesktopUrlOpener();

// The project's own pages behind the two links.
QUrl ReadmeUrl();
QUrl ReportProblemUrl();

class TFormAbout : public QDialog {
    Q_OBJECT
public:
    explicit TFormAbout(QWidget* parent = nullptr, UrlOpener openUrl = DesktopUrlOpener());

    void Label6Click();   // "Station README"
    void Label7Click();   // "Report a problem"
    void ButtonOkClick(); // closes

    QLabel* Image1 = nullptr;
    QLabel* ProgName = nullptr;
    QLabel* LabelVersion = nullptr;
    QLabel* LabelBuild = nullptr; // the build: project version and commit
    LinkLabel* Label6 = nullptr;
    LinkLabel* Label7 = nullptr;
    QPushButton* ButtonOk = nullptr;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FormCreate();

    UrlOpener openUrl_;
};
