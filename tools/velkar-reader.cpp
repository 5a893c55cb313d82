// Service tool for the technician who installs a counter: lists the HID devices, follows the
// reader's reports, and encodes and decodes frames. With VELKAR_SIMULATED_READER=1 it talks to
// the simulated reader instead.
#include "base/Clock.h"
#include "base/CommandLine.h"
#include "data/AdoConn.h"
#include "data/Schema.h"
#include "reader/BridgeFactory.h"
#include "reader/Frames.h"
#include "reader/LinkState.h"
#include "reader/ReaderLink.h"
#include "reader/SimulatedReader.h"
#include "tools/LedgerCheck.h"
#include "tools/ReaderSoak.h"

#include "support/FakeDialogs.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <csignal>
#include <mutex>
#include <thread>

using namespace velkar;

namespace {

using SteadyClock = std::chrono::steady_clock;

QTextStream out(stdout);
QTextStream err(stderr);

std::atomic<bool> interrupted{false};

int usage(QTextStream& dst = err) {
    dst << "usage: velkar-reader list\n"
           "       velkar-reader monitor [--seconds N] [--card CARD:BALANCE]\n"
           "       velkar-reader encode recharge YUAN    (whole yuan, 1 to 1999)\n"
           "       velkar-reader encode clear BALANCE    (the balance as shown, e.g. 123.4)\n"
           "       velkar-reader encode init 1|0         (enter or leave card initialisation)\n"
           "       velkar-reader decode HEX...           (a report, e.g. 55 AA 12 34 AB CD 04 D2 "
           "69)\n"
           "       velkar-reader bench [--runs N] [--database PATH]\n"
           "                                             (link latencies, simulated reader; PATH\n"
           "                                             is copied and booked into)\n"
           "       velkar-reader bench --desks N [--commands N] [--rounds N] [--database EMPTY-URI]\n"
           "                                             (desks booking at once, on the server\n"
           "                                             and on a shared file)\n"
           "       velkar-reader soak [--trials N] [--seed S] [--faults on|off]\n"
           "                          [--busy-ms MS] [--lock-max-ms MS]\n"
           "                          [--desks N] [--database EMPTY-LOCATION]\n"
           "                                             (the booking path under faults)\n"
           "       velkar-reader crash [--kills N] [--seed S] [--desks 2] [--kill-within-ms MS]\n"
           "                           [--database EMPTY-LOCATION]\n"
           "                                             (processes killed mid-booking)\n"
           "       velkar-reader verify LOG DATABASE     (a ledger against the simulated\n"
           "                                             reader's log of what it carried out)\n"
           "Set VELKAR_SIMULATED_READER=1 to use the simulated reader; --card lays a card on it.\n";
    out.flush();
    err.flush();
    return 2;
}

QString describe(const ReaderReport& report) {
    if (const auto* card = std::get_if<CardReport>(&report))
        return QStringLiteral("card %1, balance %2")
            .arg(CardNumberText(card->cardNo), BalanceText(card->balance));
    if (const auto* counter = std::get_if<CounterReport>(&report))
        return QStringLiteral("counter: %1 initialisations remaining").arg(counter->remaining);
    return QStringLiteral("discarded: ") + DiscardText(std::get<Discarded>(report).reason);
}

std::vector<std::uint8_t> parseHex(const QStringList& words, bool* ok) {
    QByteArray digits = words.join(QString()).remove(QLatin1Char(' ')).toLatin1();
    digits.replace("0x", "").replace("0X", "").replace(",", "").replace(":", "");
    *ok = !digits.isEmpty() && digits.size() % 2 == 0 &&
          std::all_of(digits.begin(), digits.end(), [](char c) { return std::isxdigit(uchar(c)); });
    const QByteArray raw = QByteArray::fromHex(digits);
    return {raw.begin(), raw.end()};
}

// --- list ---------------------------------------------------------------------------------

int list(HidBridge& bridge) {
    bool readerMarked = false;
    for (const BridgeDeviceEntry& entry : ListDevices(bridge)) {
        const bool reader = !readerMarked && IsReader(entry);
        readerMarked |= reader;
        out << (reader ? "* " : "  ")
            << QString::asprintf("%04X:%04X  ", entry.vendorId, entry.productId)
            << QString::fromStdString(entry.path) << (reader ? "  (reader)" : "") << '\n';
    }
    if (!readerMarked)
        out << "no reader (1A86:E010) found\n";
    return readerMarked ? 0 : 1;
}

// --- monitor ------------------------------------------------------------------------------

BridgeHandle openReader(HidBridge& bridge, std::string* path) {
    for (const BridgeDeviceEntry& entry : ListDevices(bridge)) {
        if (!IsReader(entry))
            continue;
        const BridgeHandle handle = bridge.BridgeOpenDevicePath(entry.path);
        if (handle != INVALID_BRIDGE_HANDLE) {
            *path = entry.path;
            return handle;
        }
    }
    return INVALID_BRIDGE_HANDLE;
}

int monitor(ReaderBackend& backend, const QStringList& options) {
    int seconds = 0;
    for (qsizetype i = 0; i < options.size(); ++i) {
        if (options[i] == QLatin1String("--seconds") && i + 1 < options.size()) {
            seconds = options[++i].toInt();
        } else if (options[i] == QLatin1String("--card") && i + 1 < options.size()) {
            const QStringList parts = options[++i].split(QLatin1Char(':'));
            const auto card = ParseCardNumber(parts[0]);
            if (!backend.simulator || !card) {
                err << "--card needs VELKAR_SIMULATED_READER=1 and CARD as 1 to 8 hex digits\n";
                return 2;
            }
            const double balance = parts.size() > 1 ? parts[1].toDouble() : 0.0;
            backend.simulator->layCard(
                *card, std::uint16_t(std::clamp(int(balance * 10 + 0.5), 0, 0xFFFF)));
        } else {
            return usage();
        }
    }
    HidBridge& bridge = *backend.bridge;
    std::string path;
    const BridgeHandle device = openReader(bridge, &path);
    if (device == INVALID_BRIDGE_HANDLE) {
        err << "no reader (1A86:E010) could be opened\n";
        return 1;
    }
    std::uint16_t vendorId = 0, productId = 0, version = 0;
    bridge.BridgeGetAttributes(device, vendorId, productId, version);
    bridge.BridgeSetTimeOut(device, 200, 3000);
    if (!bridge.BridgeInitThreadData(device)) {
        err << "the reader does not deliver reports\n";
        bridge.BridgeCloseDevice(device);
        return 1;
    }
    out << QString::asprintf("monitoring %s (VID=%X PID=%X VER=%X); Ctrl+C ends\n", path.c_str(),
                             vendorId, productId, version);
    out.flush();
    std::signal(SIGINT, [](int) { interrupted = true; });
    const auto until = SteadyClock::now() + std::chrono::seconds(seconds);
    std::vector<std::uint8_t> data;
    int status = 0;
    while (!interrupted && (seconds <= 0 || SteadyClock::now() < until)) {
        if (!bridge.BridgeReadThreadData(device, data)) {
            out << "the reader is gone\n";
            status = 1;
            break;
        }
        if (data.empty())
            continue;
        out << QDateTime::currentDateTime().toString(QStringLiteral("hh:mm:ss.zzz")) << "  "
            << HexText(data) << "  " << describe(ClassifyReport(data)) << '\n';
        out.flush();
    }
    bridge.BridgeStopThread(device);
    bridge.BridgeCloseDevice(device);
    return status;
}

// --- encode / decode ----------------------------------------------------------------------

int encode(const QStringList& args) {
    if (args.size() != 2)
        return usage();
    const QString& what = args[0];
    bool ok = false;
    CommandFrame frame;
    if (what == QLatin1String("recharge")) {
        const int yuan = args[1].toInt(&ok);
        if (!ok || yuan < MIN_RECHARGE_YUAN || yuan > MAX_RECHARGE_YUAN) {
            err << "a recharge is 1 to 1999 whole yuan\n";
            return 1;
        }
        frame = BuildCommandFrame(CMD_RECHARGE, std::uint16_t(yuan * 10));
    } else if (what == QLatin1String("clear")) {
        const QStringList parts = args[1].split(QLatin1Char('.'));
        const int yuan = parts[0].toInt(&ok);
        bool okTenth = true;
        const int tenth = parts.size() == 2 && parts[1].size() == 1 ? parts[1].toInt(&okTenth) : 0;
        const int tenths = yuan * 10 + tenth;
        if (!ok || !okTenth || parts.size() > 2 || (parts.size() == 2 && parts[1].size() != 1) ||
            yuan < 0 || tenths > 0xFFFF) {
            err << "a balance is 0.0 to 6553.5, with at most one decimal\n";
            return 1;
        }
        frame = BuildCommandFrame(CMD_CLEAR, std::uint16_t(tenths));
    } else if (what == QLatin1String("init")) {
        const int value = args[1].toInt(&ok);
        if (!ok || (value != 0 && value != 1)) {
            err << "init takes 1 (enter) or 0 (leave)\n";
            return 1;
        }
        frame = BuildCommandFrame(CMD_INIT_MODE, std::uint16_t(value));
    } else {
        return usage();
    }
    out << HexText(frame) << '\n';
    return 0;
}

int decode(const QStringList& args) {
    bool ok = false;
    const std::vector<std::uint8_t> bytes = parseHex(args, &ok);
    if (!ok) {
        err << "give the bytes as hexadecimal pairs\n";
        return 2;
    }
    const ReaderReport report = ClassifyReport(bytes);
    out << describe(report);
    if (const auto* d = std::get_if<Discarded>(&report)) {
        if (d->reason == DiscardReason::BadChecksum)
            out << QString::asprintf(" (byte 8 is %02X, bytes 0 to 7 give %02X)", bytes[8],
                                     XorChecksum(bytes.data(), 8));
        else if (d->reason == DiscardReason::ShortRead)
            out << QStringLiteral(" (%1 bytes)").arg(bytes.size());
        if (bytes.size() == COMMAND_FRAME_SIZE && bytes[0] == FRAME_START)
            out << "; it looks like a command frame from the desk, not a report";
    } else if (bytes.size() > REPORT_FRAME_SIZE) {
        out << QStringLiteral(" (%1 bytes after the first 9 ignored)")
                   .arg(bytes.size() - REPORT_FRAME_SIZE);
    }
    out << '\n';
    return std::holds_alternative<Discarded>(report) ? 1 : 0;
}

// --- bench --------------------------------------------------------------------------------

// The desk as far as the benchmark needs it: it notes when the balance was shown and when the
// card's records arrived after a booking.
class BenchView {
public:
    void attach(ReaderLink& link) {
        QObject::connect(
            &link, &ReaderLink::cardReported, &link,
            [this](const QString&, int) {
                std::lock_guard lock(m_mutex);
                balanceAt = SteadyClock::now();
                ++balances;
            },
            Qt::DirectConnection);
        QObject::connect(
            &link, &ReaderLink::cardRecordsChanged, &link,
            [this](const Journal::CardTotals& totals, bool ok) {
                std::lock_guard lock(m_mutex);
                reloadAt = SteadyClock::now();
                ++reloads;
                lastTotal = ok ? totals.total : -1;
            },
            Qt::DirectConnection);
        QObject::connect(
            &link, &ReaderLink::messageShown, &link,
            [](const QString& text) { err << "box: " << text << '\n'; }, Qt::DirectConnection);
    }

    std::mutex m_mutex;
    SteadyClock::time_point balanceAt, reloadAt;
    int balances = 0, reloads = 0;
    long long lastTotal = 0;
};

template <typename Done> bool waitFor(Done done) {
    const auto until = SteadyClock::now() + std::chrono::seconds(5);
    while (!done()) {
        if (SteadyClock::now() > until)
            return false;
        std::this_thread::sleep_for(std::chrono::microseconds(50));
    }
    return true;
}

QString figures(std::vector<double> ms) {
    std::sort(ms.begin(), ms.end());
    const auto at = [&](double q) { return ms[std::size_t(q * double(ms.size() - 1))]; };
    return QString::asprintf("median %.3f ms, p90 %.3f ms, max %.3f ms (%zu runs)", at(0.5),
                             at(0.9), ms.back(), ms.size());
}

int bench(const QStringList& options) {
    int runs = 200;
    QString source;
    for (qsizetype i = 0; i < options.size(); ++i) {
        if (options[i] == QLatin1String("--runs") && i + 1 < options.size())
            runs = std::max(1, options[++i].toInt());
        else if (options[i] == QLatin1String("--database") && i + 1 < options.size())
            source = options[++i];
        else
            return usage();
    }

    QTemporaryDir dir;
    const QString database = dir.filePath(Schema::DatabaseFileName);
    const QString problem = source.isEmpty() ? Schema::CreateDatabase(database)
                            : QFile::copy(source, database)
                                ? Schema::Upgrade(database)
                                : QStringLiteral("cannot copy ") + source;
    if (!problem.isEmpty()) {
        err << problem << '\n';
        return 1;
    }
    SimulatedReader reader;
    BenchView view;
    SystemClock clock;
    ResetLinkState();
    ReaderLink link(reader, clock, database);
    view.attach(link);
    link.findReaderPath();
    if (link.connect() != ReaderLink::Opened::Now ||
        !waitFor([&] { return reader.collectingHandles() == 1; })) {
        err << "the simulated reader did not connect\n";
        return 1;
    }
    const CardNumber card{0x12, 0x34, 0xAB, 0xCD};
    const auto ms = [](SteadyClock::duration d) {
        return std::chrono::duration<double, std::milli>(d).count();
    };

    // A report reaching the bridge until its balance is shown.
    std::vector<double> shown;
    for (int i = 0; i < runs; ++i) {
        int before;
        {
            std::lock_guard lock(view.m_mutex);
            before = view.balances;
        }
        reader.inject(CardReportFrame(card, 0));
        if (!waitFor([&] {
                std::lock_guard lock(view.m_mutex);
                return view.balances > before;
            }))
            return 1;
        std::lock_guard lock(view.m_mutex);
        shown.push_back(ms(view.balanceAt - reader.lastInjectedAt()));
    }

    // A recharge of 1 yuan: from the confirming report reaching the bridge until the record is
    // committed and the card's list refilled.
    reader.layCard(card, 0);
    link.waitForStore();
    std::vector<double> booked;
    for (int i = 0; i < runs; ++i) {
        int before;
        {
            std::lock_guard lock(view.m_mutex);
            before = view.reloads;
        }
        link.requestRecharge(1);
        if (!waitFor([&] {
                std::lock_guard lock(view.m_mutex);
                return view.reloads > before;
            })) {
            err << "no booking after run " << i << '\n';
            return 1;
        }
        std::lock_guard lock(view.m_mutex);
        booked.push_back(ms(view.reloadAt - reader.lastInjectedAt()));
    }
    link.shutdown();
    out << "database: " << (source.isEmpty() ? QStringLiteral("fresh") : source) << '\n';
    out << "report to balance shown:           " << figures(shown) << '\n';
    out << "report to record booked and listed: " << figures(booked) << '\n';
    out << "records booked: " << view.reloads << ", list total " << view.lastTotal << " yuan\n";
    return 0;
}

// The ledger a whole program booked into, against the log VELKAR_SIMULATED_LOG made it keep.
int verify(const QStringList& options) {
    if (options.size() != 2)
        return usage();
    const LedgerCheck check =
        CheckLedger(SimulatedReader::ReadExecutionLog(options[0]), options[1]);
    out << check.text();
    return check.sound() ? 0 : 1;
}

} // namespace

int main(int argc, char* argv[]) {
    if (const auto answered =
            CommandLine::AnswerHelpOrVersion(argc, argv, "velkar-reader", [] { usage(out); }))
        return *answered;
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.isEmpty())
        return usage();
    const QString& command = args[0];
    const QStringList rest = args.mid(1);
    int status = 2;
    if (command == QLatin1String("encode")) {
        status = encode(rest);
    } else if (command == QLatin1String("decode")) {
        status = decode(rest);
    } else if (command == QLatin1String("bench")) {
        status =
            rest.contains(QStringLiteral("--desks")) ? RunDeskBench(rest, out, err) : bench(rest);
    } else if (command == QLatin1String("soak")) {
        status = RunSoak(rest, out, err);
    } else if (command == QLatin1String("verify")) {
        status = verify(rest);
    } else if (command == QLatin1String("crash")) {
        status = RunCrash(rest, QCoreApplication::applicationFilePath(), out, err);
    } else if (command == QLatin1String("crash-child")) {
        status = RunCrashChild(rest);
    } else if (command == QLatin1String("list") || command == QLatin1String("monitor")) {
        ReaderBackend backend = MakeReaderBackend();
        status = command == QLatin1String("list")
                     ? (rest.isEmpty() ? list(*backend.bridge) : usage())
                     : monitor(backend, rest);
    } else {
        status = usage();
    }
    out.flush();
    err.flush();
    return status;
}
