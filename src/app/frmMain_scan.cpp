// Find Meter: the selected port is searched for meters by the firmware query, address by
// address and rate by rate; a meter chosen from those that answered (every one of the rate at
// which the first answered) sets the address and baud-rate lists.
#include "app/frmMain.h"

#include "app/JobDialog.h"
#include "app/PickList.h"
#include "link/MeterLink.h"
#include "programming/MeterSearch.h"

#include <QAction>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QProgressDialog>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QVBoxLayout>
#include <algorithm>

void frmMain::wireScan() { connect(mnuFindMeter, &QAction::triggered, this, &frmMain::mnuFindMeter_Click); }

namespace {
// The window as the face of a search: the progress dialog and the window's message boxes.
class WindowSearch final : public SearchReporter {
public:
    WindowSearch(frmMain* window, QProgressDialog* progress) : m_w(window), m_progress(progress) {}
    bool trying(int done, int, const QString& address, const QString& baud) override
    {
        m_progress->setValue(done);
        m_progress->setLabelText(frmMain::tr("Searching port %1: address %2 at %3 baud...").arg(m_w->cboCommPort->Text(), address, baud));
        return !m_progress->wasCanceled();
    }
    void found(const FoundMeter&) override {}
    int message(const RunMessage& message) override { return m_w->RunMsgBox(message.text, message.style, message.title); }
    bool abandoned() const override { return !m_w || m_w->closing(); }

private:
    QPointer<frmMain> m_w;
    QProgressDialog* m_progress;
};
} // namespace

void frmMain::mnuFindMeter_Click()
{
    if (m_running || m_searching)
        return;
    QPointer<frmMain> self(this);
    MeterSearch::Options search;
    search.port = cboCommPort->Text();
    search.selectedBaud = cboBaudRate->Text();
    search.bauds = MeterLink::scanOrder(cboBaudRate->Text());
    search.stop = MeterSearch::Options::AtRateEnd; // a bus's meters share one rate
    const int total = search.queries();
    QProgressDialog progress(tr("Searching port %1...").arg(cboCommPort->Text()), tr("Cancel"), 0, total, this);
    progress.setObjectName(QStringLiteral("dlgFindMeterProgress"));
    progress.setWindowTitle(tr("Find Meter"));
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(0);
    progress.setAutoClose(false);
    progress.setAutoReset(false);
    QList<FoundMeter> meters;
    m_searching = true;
    WindowSearch face(this, &progress);
    const MeterSearch::End end = MeterSearch(MSComm1, m_transaction, &face).run(search, &meters, m_dryRun);
    if (!self)
        return;
    m_searching = false;
    const bool cancelled = progress.wasCanceled(); // closing the dialog would cancel it too
    progress.close();
    if (end == MeterSearch::End::PortUnavailable || end == MeterSearch::End::PortLost)
        return;
    if (cancelled)
        setPanelText(1, tr("Search cancelled"));
    else if (meters.isEmpty())
        setPanelText(1, tr("No meter found"));
    else
        setPanelText(1, meters.size() == 1 ? tr("1 meter found") : tr("%1 meters found").arg(QString::number(meters.size())));
    RestartStatusTimer();
    if (meters.isEmpty()) {
        if (end != MeterSearch::End::Stopped)
            MsgBox(tr("No meter answered on port %1 at any address or baud rate.").arg(cboCommPort->Text()), vbExclamation);
        return;
    }

    auto* dialog = new QDialog(this);
    dialog->setObjectName(QStringLiteral("dlgFindMeter"));
    dialog->setWindowTitle(tr("Find Meter"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    auto* layout = new QVBoxLayout(dialog);
    layout->addWidget(new QLabel(tr("Meters that answered on port %1:").arg(cboCommPort->Text()), dialog));
    auto* list = new QListWidget(dialog);
    list->setObjectName(QStringLiteral("lstMeters"));
    list->setAccessibleName(tr("Meters found"));
    // Wide enough for every line up to the screen's width; a longer line is elided, its tooltip whole.
    int widest = 0;
    for (const FoundMeter& m : meters) {
        const QString line = tr("Address %1 at %2 baud, firmware %3").arg(m.address, m.baud, m.firmware);
        auto* item = new QListWidgetItem(line, list);
        item->setToolTip(line);
        item->setData(Qt::UserRole, m.address);
        item->setData(Qt::UserRole + 1, m.baud);
        widest = std::max(widest, list->fontMetrics().horizontalAdvance(line));
    }
    const int room = screen() ? screen()->availableGeometry().width() * 9 / 10 : 800;
    list->setTextElideMode(Qt::ElideMiddle);
    list->setMinimumWidth(std::min(room, widest + 4 * list->frameWidth() + list->verticalScrollBar()->sizeHint().width() + 16));
    list->setCurrentRow(0);
    // Every meter listed, each with a workbook of its own, programmed in one job.
    auto* programAll = new QAction(tr("Program these meters..."), list);
    programAll->setObjectName(QStringLiteral("mnuProgramMeters"));
    list->addAction(programAll);
    list->setContextMenuPolicy(Qt::ActionsContextMenu);
    connect(programAll, &QAction::triggered, dialog, [this, meters] {
        auto* job = new JobDialog(this, meters);
        job->setAttribute(Qt::WA_DeleteOnClose);
        job->open();
    });
    layout->addWidget(list);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dialog);
    buttons->button(QDialogButtonBox::Ok)->setText(tr("Use"));
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("cmdUseMeter"));
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    auto use = [this, dialog, list] {
        if (const QListWidgetItem* item = list->currentItem()) {
            const QString address = item->data(Qt::UserRole).toString(), baud = item->data(Qt::UserRole + 1).toString();
            selectListText(cboAddress, address);
            selectListText(cboBaudRate, baud);
            setPanelText(1, tr("Address %1 and %2 baud set").arg(address, baud));
            RestartStatusTimer();
        }
        dialog->accept();
    };
    connect(buttons, &QDialogButtonBox::accepted, dialog, use);
    connect(list, &QListWidget::itemActivated, dialog, use);
    dialog->open();
}
