// The main window's sending to the central server: started, restarted and stopped with
// the [Central] settings; its reports reach the status bar and the Errors log.
#include "MainUnit.h"

#include "CentralWorker.h"
#include "Config.h"
#include "MqttBridge.h"
#include "ReportsTab.h"
#include "StoredText.h"

#include <QLabel>
#include <QPointer>
#include <QStatusBar>

void TForm1::StartCentral() {
    central_.reset();
    CentralStatus->hide();
    const TCentralSetup setup = cfgData_.Central;
    if (TabSheet2)
        TabSheet2->SetCentralConnection(setup.Connection.toStdString());
    if (setup.Connection.isEmpty() || !db_)
        return;
    QPointer<TForm1> self(this);
    central_ = std::make_unique<CentralWorker>(
        dbFile_,
        CentralSettings{setup.Connection.toStdString(), setup.Station.toStdString(),
                        StoredText::LegacyCodePage()},
        [self](const CentralWorker::Status& status) {
            // On the worker's thread: hand the report to the window's.
            QMetaObject::invokeMethod(
                self,
                [self, status] {
                    if (!self)
                        return;
                    if (self->mqtt_)
                        self->mqtt_->Unsent(status.waiting);
                    if (status.waiting > 0) {
                        self->CentralStatus->setText(
                            QString("Central: %1 rows waiting").arg(status.waiting));
                        self->CentralStatus->show();
                    } else {
                        self->CentralStatus->hide();
                    }
                    if (!status.notice.empty()) {
                        self->PrependLog(status.notice);
                        self->statusBar()->showMessage(QString::fromStdString(status.notice),
                                                       10000);
                    }
                },
                Qt::QueuedConnection);
        });
}
