// Find Meter: the selected port is searched for meters by the firmware query, address by
// address and rate by rate; a meter chosen from those that answered (every one of the rate at
// which the first answered) sets the address and baud-rate lists.
#include "app/frmMain.h"

#include "app/PickList.h"
#include "link/MeterLink.h"
#include "link/MeterTransaction.h"
#include "link/SerialComm.h"

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

frmMain::SearchEnd frmMain::findMeters(const MeterSearch& search, QList<FoundMeter>* meters)
{
    meters->clear();
    if (m_running || m_searching)
        return SearchEnd::Stopped;
    QPointer<frmMain> self(this);
    m_searching = true;
    DiscardInput();
    if (MSComm1->portOpen())
        MSComm1->setPortOpen(false);
    LinkFailure.reset();
    if (m_dryRun || !cboCommPort_Change() || !MSComm1->portOpen()) {
        if (!LinkFailure)
            LinkFailure = MSComm1->failure();
        showPortFailure();
        if (self)
            m_searching = false;
        return SearchEnd::PortUnavailable;
    }

    const int total = int(search.bauds.size()) * (search.last - search.first + 1);
    int done = 0;
    SearchEnd end = SearchEnd::Finished;
    const QString query = QLatin1String(MeterLink::FirmwareQuery);
    auto text = [](int n) { return QStringLiteral("%1").arg(n, 3, 10, QLatin1Char('0')); };
    for (const QString& baud : search.bauds) {
        if (!MSComm1->setSettings(MeterLink::settingsFor(baud))) {
            LinkFailure = MSComm1->failure();
            end = SearchEnd::PortUnavailable;
            break;
        }
        const int firstByteMs = MeterLink::scanReplyWaitMs(baud.toInt()), restMs = MeterLink::scanRestWaitMs(baud.toInt());
        m_transaction->setReplyWaitMs(firstByteMs, restMs);
        // One firmware query; false when the search ends with it.
        auto ask = [&](const QString& address, ReplyOutcome* outcome) {
            *outcome = m_transaction->send(address, query);
            if (!self) {
                end = SearchEnd::Stopped;
                return false;
            }
            if (*outcome == ReplyOutcome::PortFailed) {
                LinkFailure = m_transaction->failure();
                end = m_closing ? SearchEnd::Stopped : SearchEnd::PortLost;
                return false;
            }
            return true;
        };
        // Asks the address again with the two-second timeout; lists it when its reply holds a
        // version and names it or no address. False when the search ends.
        auto confirm = [&](const QString& address) {
            for (const FoundMeter& m : std::as_const(*meters))
                if (m.address == address && m.baud == baud)
                    return true;
            m_transaction->setReplyWaitMs(0);
            ReplyOutcome outcome;
            const bool going = ask(address, &outcome);
            m_transaction->setReplyWaitMs(firstByteMs, restMs);
            if (!going)
                return false;
            const QString reply = m_transaction->replyText();
            const QString named = MeterLink::namedAddress(reply);
            if (outcome != ReplyOutcome::ReplyComplete || !MeterLink::holdsVersion(reply) || (!named.isEmpty() && named != address))
                return true;
            meters->append({address, baud, MeterLink::printable(MeterLink::firmwareText(reply))});
            if (search.found)
                search.found(meters->constLast());
            if (search.stop == MeterSearch::AtFirstMeter)
                end = SearchEnd::Stopped;
            return end == SearchEnd::Finished;
        };
        // A late reply, waited for up to waitMs, that holds a version and names an address asked
        // before `before` is that address's: it is confirmed. False when the search ends.
        auto creditLate = [&](int waitMs, int before) {
            const QString late = m_transaction->takeLate(waitMs, restMs);
            const QString named = MeterLink::holdsVersion(late) ? MeterLink::namedAddress(late) : QString();
            if (named.isEmpty() || named.toInt() < search.first || named.toInt() >= before)
                return true;
            return confirm(named);
        };
        for (int n = search.first; n <= search.last && end == SearchEnd::Finished; ++n, ++done) {
            const QString address = text(n);
            if (search.progress && !search.progress(done, total, address, baud)) {
                end = SearchEnd::Stopped;
                break;
            }
            if (!self)
                return SearchEnd::Stopped;
            // A late reply to an address already asked names that address.
            if (!creditLate(0, n) || end != SearchEnd::Finished)
                break;
            // Asked once more after a reply that named another address: that reply was not its own.
            for (int asked = 0; asked < 2 && end == SearchEnd::Finished; ++asked) {
                ReplyOutcome outcome;
                if (!ask(address, &outcome))
                    break;
                // A reply whose bytes came in the pass that found the wait over still names its meter.
                const QString reply = m_transaction->replyText();
                if (outcome == ReplyOutcome::PortFailed || !MeterLink::holdsVersion(reply))
                    break;
                const QString named = MeterLink::namedAddress(reply);
                if (named.isEmpty() && n > search.first && !confirm(text(n - 1)))
                    break;
                if (!confirm(named.isEmpty() ? address : named) || named.isEmpty() || named == address)
                    break;
            }
        }
        // The last addresses' late replies come after the last wait.
        if (end == SearchEnd::Finished && self)
            creditLate(MeterLink::LateReplyMs, search.last + 1);
        if (!self)
            return SearchEnd::Stopped;
        if (end == SearchEnd::Finished && search.stop == MeterSearch::AtRateEnd && !meters->isEmpty())
            end = SearchEnd::Stopped;
        if (end != SearchEnd::Finished || !self)
            break;
    }
    if (!self)
        return SearchEnd::Stopped;
    m_transaction->setReplyWaitMs(0);
    if (end == SearchEnd::Stopped && !meters->isEmpty() && search.stop != MeterSearch::Never)
        end = SearchEnd::Finished; // the search ended as asked
    if (end == SearchEnd::PortLost || end == SearchEnd::PortUnavailable) {
        MSComm1->setPortOpen(false);
        showPortFailure();
        if (!self)
            return end;
    } else {
        cboBaudRate_Change(); // back to the selected rate
    }
    m_searching = false;
    return end;
}

void frmMain::mnuFindMeter_Click()
{
    if (m_running || m_searching)
        return;
    QPointer<frmMain> self(this);
    MeterSearch search;
    search.bauds = MeterLink::scanOrder(cboBaudRate->Text());
    search.stop = MeterSearch::AtRateEnd; // a bus's meters share one rate
    const int total = int(search.bauds.size()) * (search.last - search.first + 1);
    QProgressDialog progress(tr("Searching port %1...").arg(cboCommPort->Text()), tr("Cancel"), 0, total, this);
    progress.setObjectName(QStringLiteral("dlgFindMeterProgress"));
    progress.setWindowTitle(tr("Find Meter"));
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(0);
    progress.setAutoClose(false);
    progress.setAutoReset(false);
    search.progress = [&](int done, int, const QString& address, const QString& baud) {
        progress.setValue(done);
        progress.setLabelText(tr("Searching port %1: address %2 at %3 baud...").arg(cboCommPort->Text(), address, baud));
        return !progress.wasCanceled();
    };
    QList<FoundMeter> meters;
    const SearchEnd end = findMeters(search, &meters);
    if (!self)
        return;
    progress.close();
    if (end == SearchEnd::PortUnavailable || end == SearchEnd::PortLost)
        return;
    if (progress.wasCanceled()) {
        setPanelText(1, tr("Search cancelled"));
        RestartStatusTimer();
    }
    if (meters.isEmpty()) {
        if (end != SearchEnd::Stopped)
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
