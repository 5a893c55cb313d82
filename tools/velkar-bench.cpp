// Times the archive and report windows against a large generated database and prints one
// figure a line, "name: value".
#include "app/Clock.h"
#include "app/CommandLine.h"
#include "app/Startup.h"
#include "data/AdoConn.h"
#include "data/Audit.h"
#include "data/CardRecords.h"
#include "data/DatabaseCopy.h"
#include "data/Schema.h"
#include "data/Settlement.h"
#include "desk/AuditDlg.h"
#include "desk/DatabaseActions.h"
#include "records/RecordsDlg.h"
#include "reports/PreviewDlg.h"
#include "reports/QueryDlg.h"
#include "reports/ReportLayout.h"
#include "reports/TextTableModel.h"

#include "support/Controls.h"
#include "support/FakeDialogs.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QComboBox>
#include <QCommandLineParser>
#include <QDateEdit>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLineEdit>
#include <QPrinter>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>

#include <sqlite3.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <vector>

namespace {

double currentMegabytes() {
    long pages = 0, resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return double(resident) * double(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

// The card with many records, booked the year before the measured one.
const QByteArray BigCard = QByteArrayLiteral("B16CA4D0");
constexpr int BigCardRecords = 100000;

struct Context {
    int cardholders = 100000;
    int records = 1000000;
    QDate firstDay{2024, 1, 1};
    QDate lastDay{2024, 12, 31};
    QDate measuredDay{2024, 7, 1};
    QString path;
    // Every box is counted, none shown: a benchmark must not wait for a person.
    FakeDialogs dialogs;
    int expectedBoxes = 0; // those a step means to show, not counted against the run

    Context() {
        dialogs.echoMessages([](const QString& text) {
            std::fprintf(stderr, "velkar-bench: message: %s\n", qPrintable(text));
        });
    }
};

void figure(const char* name, double value, const char* unit) {
    std::printf("%s: %.1f %s\n", name, value, unit);
    std::fflush(stdout);
}

void count(const char* name, qint64 value) {
    std::printf("%s: %lld\n", name, static_cast<long long>(value));
    std::fflush(stdout);
}

// Any box the steps did not mean to show fails the run.
int finish(const Context& ctx) {
    const qsizetype unexpected = ctx.dialogs.texts().size() - ctx.expectedBoxes;
    count("messages_shown", unexpected);
    return unexpected == 0 ? 0 : 1;
}

double milliseconds(const std::function<void()>& work) {
    QElapsedTimer timer;
    timer.start();
    work();
    return double(timer.nsecsElapsed()) / 1e6;
}

double bestOf(int runs, const std::function<void()>& work) {
    double best = 1e300;
    for (int i = 0; i < runs; ++i)
        best = std::min(best, milliseconds(work));
    return best;
}

double peakMegabytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) / 1024.0;
}

void exec(sqlite3* db, const char* sql) {
    char* error = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &error) != SQLITE_OK) {
        std::fprintf(stderr, "velkar-bench: %s: %s\n", sql, error);
        std::exit(1);
    }
}

void bindText(sqlite3_stmt* stmt, int index, const QByteArray& text) {
    sqlite3_bind_text(stmt, index, text.constData(), int(text.size()), SQLITE_TRANSIENT);
}

QByteArray cardNumber(int holder) {
    return QByteArray::number(0x10000000u + unsigned(holder) * 2654435761u % 0xE0000000u, 16)
        .toUpper();
}

QString holderName(int holder) {
    static const QStringList surnames{"王", "李", "张", "刘", "陈", "杨", "黄", "赵", "吴", "周",
                                      "徐", "孙", "马", "朱", "胡", "郭", "何", "高", "林", "罗"};
    static const QStringList given{"伟", "芳", "娜",   "秀英", "敏", "静", "丽",   "强",
                                   "磊", "军", "洋",   "勇",   "艳", "杰", "娟",   "涛",
                                   "明", "超", "秀兰", "霞",   "平", "刚", "桂英", "建华",
                                   "文", "华", "红",   "玉兰", "斌", "鹏"};
    return surnames[holder % surnames.size()] + given[(holder / 20) % given.size()];
}

// The delivered schema filled with cardholders and, over the year, recharge records booked
// in time order.
void buildDatabase(const Context& ctx, const QString& path) {
    const double ms = milliseconds([&] {
        const QString problem = Schema::CreateDatabase(path);
        if (!problem.isEmpty()) {
            std::fprintf(stderr, "velkar-bench: %s\n", qPrintable(problem));
            std::exit(1);
        }
        sqlite3* db = nullptr;
        sqlite3_open(path.toUtf8().constData(), &db);
        exec(db, "PRAGMA synchronous = OFF");
        exec(db, "BEGIN");
        sqlite3_stmt* holder = nullptr;
        sqlite3_prepare_v2(db, "INSERT INTO userecord VALUES (?, ?, ?, ?, ?, ?)", -1, &holder,
                           nullptr);
        for (int h = 0; h < ctx.cardholders; ++h) {
            bindText(holder, 1, QByteArray::number(h + 1));
            bindText(holder, 2, cardNumber(h));
            bindText(holder, 3, holderName(h).toUtf8());
            bindText(holder, 4, QByteArray("1101011990") + QByteArray::number(10000000 + h));
            bindText(holder, 5, QByteArray("138") + QByteArray::number(10000000 + h));
            bindText(holder, 6, QStringLiteral("北京市海淀区%1号").arg(h % 500).toUtf8());
            sqlite3_step(holder);
            sqlite3_reset(holder);
        }
        sqlite3_finalize(holder);

        sqlite3_stmt* record = nullptr;
        sqlite3_prepare_v2(db, "INSERT INTO employees VALUES (?, ?, ?)", -1, &record, nullptr);
        const QDateTime start(ctx.firstDay, QTime(0, 0));
        const qint64 span = start.secsTo(QDateTime(ctx.lastDay, QTime(23, 59, 59)));
        quint32 seed = 12345;
        for (int r = 0; r < ctx.records; ++r) {
            seed = seed * 1664525u + 1013904223u;
            const int h = int((seed >> 8) % unsigned(std::max(ctx.cardholders, 1)));
            const qint64 at = span * r / std::max(ctx.records, 1);
            const int amount = (seed % 50 == 0) ? -int(seed % 900) : int(10 * (1 + seed % 50));
            bindText(record, 1, cardNumber(h));
            bindText(record, 2, TimestampText(start.addSecs(at)).toUtf8());
            bindText(record, 3, QByteArray::number(amount));
            sqlite3_step(record);
            sqlite3_reset(record);
        }
        const QDateTime before(ctx.firstDay.addYears(-1), QTime(0, 0));
        for (int r = 0; r < BigCardRecords; ++r) {
            bindText(record, 1, BigCard);
            bindText(record, 2, TimestampText(before.addSecs(r * 60)).toUtf8());
            bindText(record, 3, QByteArray::number(r % 7 == 0 ? -5 : 10 + r % 90));
            sqlite3_step(record);
            sqlite3_reset(record);
        }
        sqlite3_finalize(record);
        exec(db, "COMMIT");
        sqlite3_close(db);
    });
    figure("database_build", ms / 1000, "s");
}

// A statement straight through the C API on one kept connection, reading every cell of every
// row as text: the floor each window's read is set against.
struct Floor {
    double ms = 0;
    qint64 rows = 0;
};

Floor floorRead(const Context& ctx, const char* sql, const QList<QByteArray>& binds) {
    static sqlite3* db = nullptr;
    if (!db)
        sqlite3_open_v2(ctx.path.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
    Floor floor;
    floor.ms = bestOf(3, [&] {
        sqlite3_stmt* stmt = nullptr;
        sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr);
        for (int i = 0; i < binds.size(); ++i)
            bindText(stmt, i + 1, binds[i]);
        floor.rows = 0;
        std::size_t bytes = 0;
        const int columns = sqlite3_column_count(stmt);
        while (sqlite3_step(stmt) == SQLITE_ROW) {
            for (int c = 0; c < columns; ++c) {
                sqlite3_column_text(stmt, c);
                bytes += std::size_t(sqlite3_column_bytes(stmt, c));
            }
            ++floor.rows;
        }
        sqlite3_finalize(stmt);
        if (bytes == 0 && floor.rows > 0)
            std::abort();
    });
    return floor;
}

QList<QByteArray> range(QDate from, QDate to) {
    return {DayStartText(from).toUtf8(), DayEndText(to).toUtf8()};
}

// A window's figure beside its floor from the same run.
void againstFloor(const char* name, double ms, const Floor& floor) {
    figure(name, ms, "ms");
    figure(QByteArray(name).append("_floor").constData(), floor.ms, "ms");
    std::printf("%s_floor_ratio: %.2f\n", name, floor.ms > 0 ? ms / floor.ms : 0.0);
    std::fflush(stdout);
}

// Runs 查询 over a range and paints the window.
double runQuery(CQueryDlg& dlg, QDate from, QDate to) {
    control<QDateEdit>(&dlg, 1035)->setDate(from);
    control<QDateEdit>(&dlg, 1036)->setDate(to);
    return milliseconds([&] {
        control<QPushButton>(&dlg, 1031)->click();
        dlg.grab();
    });
}

void queryWindow(Context& ctx) {
    const Floor dayFloor =
        floorRead(ctx, Sql::RecordsBetweenWithNames, range(ctx.measuredDay, ctx.measuredDay));
    const Floor yearFloor =
        floorRead(ctx, Sql::RecordsBetweenWithNames, range(ctx.firstDay, ctx.lastDay));
    const FixedClock clock(QDateTime(ctx.measuredDay, QTime(12, 0)));
    CQueryDlg dlg(ctx.dialogs, clock);
    dlg.show();
    QCoreApplication::processEvents();
    double day = 1e300;
    for (int i = 0; i < 3; ++i)
        day = std::min(day, runQuery(dlg, ctx.measuredDay, ctx.measuredDay));
    count("query_day_records", control<QTableView>(&dlg, 1037)->model()->rowCount());
    againstFloor("query_day", day, dayFloor);

    double year = 1e300;
    for (int i = 0; i < 3; ++i)
        year = std::min(year, runQuery(dlg, ctx.firstDay, ctx.lastDay));
    auto* view = control<QTableView>(&dlg, 1037);
    count("query_year_records", view->model()->rowCount());
    againstFloor("query_year", year, yearFloor);
    figure("query_year_peak_memory", peakMegabytes(), "MB");
    const double end = milliseconds([&] {
        view->scrollToBottom();
        dlg.grab();
    });
    figure("query_year_scroll_to_last_row", end, "ms");
    const QAbstractItemModel* model = view->model();
    std::printf("query_year_last_row: %s %s %s %s\n",
                qUtf8Printable(model->index(model->rowCount() - 1, 0).data().toString()),
                qUtf8Printable(model->index(model->rowCount() - 1, 1).data().toString()),
                qUtf8Printable(model->index(model->rowCount() - 1, 2).data().toString()),
                qUtf8Printable(model->index(model->rowCount() - 1, 3).data().toString()));
}

void previewWindow(Context& ctx) {
    const FixedClock clock(QDateTime(ctx.lastDay, QTime(12, 0)));
    g_rangeStart = DayStartText(ctx.firstDay);
    g_rangeEnd = DayEndText(ctx.lastDay);
    CPreviewDlg dlg(ctx.dialogs, clock);
    const double open = milliseconds([&] {
        dlg.show();
        dlg.grab();
    });
    figure("preview_open_year", open, "ms");
    dlg.ShowPage(ReportLayout::LastPage(dlg.recordCount()));
    count("preview_page_index", dlg.page());
    figure("preview_page", bestOf(5, [&] { dlg.grab(); }), "ms");
}

// The desk's list of one card: its rows as shown in a list of the desk's size, its total.
void cardList(Context& ctx) {
    const Floor floor = floorRead(ctx, Sql::CardRecords, {BigCard});
    HeldConnection store(&ctx.dialogs);
    QTableView view;
    view.resize(422, 342);
    TextTableModel model({"卡号", "日期", "金额"}, {0, 1, 2});
    view.setModel(&model);
    view.show();
    qint64 total = 0;
    const double listed = bestOf(3, [&] {
        const CardRecordPages pages =
            ReadCardRecordPages(store.get(), QString::fromLatin1(BigCard));
        model.setRows(pages.rows);
        total = pages.total;
        view.grab();
    });
    count("card_records_listed", model.rowCount());
    count("card_records_total", total);
    againstFloor("card_list", listed, floor);
}

// The year to a PDF file, as a printer would take it; last, for the file it writes pushes
// the database out of the page cache.
void printYear(Context& ctx) {
    const FixedClock clock(QDateTime(ctx.measuredDay, QTime(12, 0)));
    CQueryDlg dlg(ctx.dialogs, clock);
    control<QDateEdit>(&dlg, 1035)->setDate(ctx.firstDay);
    control<QDateEdit>(&dlg, 1036)->setDate(ctx.lastDay);
    // The year to a PDF file, as a printer would take it.
    QTemporaryDir out;
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(out.filePath(QStringLiteral("year.pdf")));
    std::vector<double> rss;
    ctx.dialogs.onProgressStep = [&rss](int) { rss.push_back(currentMegabytes()); };
    const double before = currentMegabytes();
    const double print = milliseconds([&] { dlg.PrintReport(printer); });
    ctx.dialogs.onProgressStep = nullptr;
    const QList<int>& steps = ctx.dialogs.progressSteps;
    const int pages = steps.isEmpty() ? 0 : steps.constLast();
    figure("print_year", print / 1000, "s");
    count("print_year_pages", pages);
    figure("print_year_pages_per_second", pages / (print / 1000), "pages/s");
    count("print_year_progress_steps", rss.size());
    if (!rss.empty()) {
        figure("print_memory_before", before, "MB");
        figure("print_memory_at_first_page", rss.front(), "MB");
        figure("print_memory_at_middle_page", rss[rss.size() / 2], "MB");
        figure("print_memory_at_last_page", rss.back(), "MB");
    }
    count("print_year_pdf_bytes", QFileInfo(out.filePath(QStringLiteral("year.pdf"))).size());
}

void recordsWindow(Context& ctx) {
    const Floor floor = floorRead(ctx, Sql::CardholderList, {});
    std::unique_ptr<CRecordsDlg> dlg;
    const double open = milliseconds([&] {
        dlg = std::make_unique<CRecordsDlg>(ctx.dialogs);
        dlg->show();
        dlg->grab();
    });
    count("records_listed", control<QTableView>(dlg.get(), 1041)->model()->rowCount());
    againstFloor("records_open", open, floor);

    auto* combo = control<QComboBox>(dlg.get(), 1009);
    combo->setCurrentIndex(combo->findText(QStringLiteral("姓名")));
    control<QLineEdit>(dlg.get(), 1010)->setText(holderName(ctx.cardholders / 2));
    const double search = bestOf(3, [&] {
        control<QPushButton>(dlg.get(), 1011)->click();
        dlg->grab();
    });
    count("search_found", control<QTableView>(dlg.get(), 1041)->model()->rowCount());
    figure("search", search, "ms");
}

// Backs the working database up and restores the backup over it through the desk's actions,
// timing each and the longest stretch in which the window thread served no event.
void copyWindow(Context& ctx) {
    QTemporaryDir folder;
    const QString backup = DatabaseCopy::BackupTarget(folder.path());
    ctx.dialogs.answerFolder(folder.path());
    ctx.dialogs.answerFile(backup);
    DatabaseActions actions(ctx.dialogs);
    qint64 longestPause = 0;
    QElapsedTimer sinceTick;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout,
                     [&] { longestPause = std::max(longestPause, sinceTick.restart()); });
    const auto timed = [&](const char* name, const std::function<void()>& work) {
        longestPause = 0;
        tick.start(5);
        sinceTick.start();
        const double ms = milliseconds(work);
        tick.stop();
        figure(name, ms, "ms");
        figure(QByteArray(name).append("_longest_pause").constData(), double(longestPause), "ms");
    };
    // "备份完成！" and "数据库还原成功！" are the boxes expected; any other counts.
    timed("backup", [&] { actions.BackupDatabase(); });
    ctx.expectedBoxes += ctx.dialogs.lastText() == QStringLiteral("备份完成！");
    count("database_bytes", QFileInfo(backup).size());
    timed("restore", [&] { actions.OnRestore(); });
    ctx.expectedBoxes += ctx.dialogs.lastText() == QStringLiteral("数据库还原成功！");
}

} // namespace

// Gives every record the booked journal entry of one of the six operators, and the trail as
// many entries, chained; kept in the file, so a reused database pays for this once.
void addTrail(const Context& ctx) {
    sqlite3* db = nullptr;
    sqlite3_open(ctx.path.toUtf8().constData(), &db);
    sqlite3_stmt* counted = nullptr;
    sqlite3_prepare_v2(db, "SELECT (SELECT count(*) FROM journal), (SELECT count(*) FROM audit)",
                       -1, &counted, nullptr);
    sqlite3_step(counted);
    const bool journalled = sqlite3_column_int64(counted, 0) > 0;
    const bool audited = sqlite3_column_int64(counted, 1) > 0;
    sqlite3_finalize(counted);
    const double ms = milliseconds([&] {
        exec(db, "PRAGMA synchronous = OFF");
        exec(db, "BEGIN");
        if (!journalled)
            exec(db, "INSERT INTO journal (card_no, operation, amount, balance_before, "
                     "balance_expected, operator, desk, sent_at, state, resolved_at, "
                     "balance_seen, record_id) SELECT 卡号, CASE WHEN 金额 < 0 THEN 'clear' "
                     "ELSE 'recharge' END, abs(金额), 0, 0, '操作员' || (1 + rowid % 6), "
                     "'bench', 日期, 'booked', 日期, 0, rowid FROM employees ORDER BY rowid");
        if (!audited) {
            sqlite3_stmt* insert = nullptr;
            sqlite3_prepare_v2(db, "INSERT INTO audit VALUES (?, ?, ?, ?, ?, ?, ?)", -1, &insert,
                               nullptr);
            const QDateTime start(ctx.firstDay, QTime(0, 0));
            const qint64 span = start.secsTo(QDateTime(ctx.lastDay, QTime(23, 59, 59)));
            QString previous;
            for (int r = 0; r < ctx.records; ++r) {
                Audit::Entry e;
                e.id = r + 1;
                e.time = TimestampText(start.addSecs(span * r / std::max(ctx.records, 1)));
                e.account = QStringLiteral("操作员%1").arg(1 + r % 6);
                e.desk = QStringLiteral("bench");
                e.action = Audit::Command;
                e.details = QStringLiteral("日志 %1 卡号 %2 充值 %3 元 已记账")
                                .arg(r + 1)
                                .arg(QString::fromLatin1(cardNumber(r % ctx.cardholders)))
                                .arg(10 + r % 50);
                e.hash = Audit::HashOf(e, previous);
                previous = e.hash;
                sqlite3_bind_int64(insert, 1, e.id);
                bindText(insert, 2, e.time.toUtf8());
                bindText(insert, 3, e.account.toUtf8());
                bindText(insert, 4, e.desk.toUtf8());
                bindText(insert, 5, e.action.toUtf8());
                bindText(insert, 6, e.details.toUtf8());
                bindText(insert, 7, e.hash.toUtf8());
                sqlite3_step(insert);
                sqlite3_reset(insert);
            }
            sqlite3_finalize(insert);
        }
        exec(db, "COMMIT");
    });
    sqlite3_close(db);
    if (!journalled || !audited)
        figure("trail_build", ms / 1000, "s");
}

// The settlement of the whole year, the audit window's first page and the chain's check.
void trailFigures(Context& ctx) {
    addTrail(ctx);
    Connection db(ctx.path);
    Settlement::Result result;
    figure("settlement_year_ms",
           bestOf(3,
                  [&] {
                      result = Settlement::Collect(db, ctx.firstDay.toString(Qt::ISODate),
                                                   ctx.lastDay.toString(Qt::ISODate));
                  }),
           "ms");
    count("settlement_rows", qint64(result.rows.size()));
    figure("audit_window_open_ms",
           bestOf(3,
                  [&] {
                      CAuditDlg dlg(ctx.dialogs, nullptr, ctx.path, ctx.lastDay);
                      if (dlg.rowCount() != CAuditDlg::PageSize)
                          std::fprintf(stderr, "velkar-bench: audit window shows %d\n",
                                       dlg.rowCount());
                  }),
           "ms");
    bool intact = false;
    figure("audit_chain_verify_ms", bestOf(1, [&] { intact = !Audit::Verify(db); }), "ms");
    count("audit_chain_intact", intact ? 1 : 0);
}

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    PrepareApplication(app);

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Times the query, preview and archive windows on a generated database."));
    parser.addHelpOption();
    const QCommandLineOption cardholders(QStringLiteral("cardholders"),
                                         QStringLiteral("Cardholders (default 100000)."),
                                         QStringLiteral("n"), QStringLiteral("100000"));
    const QCommandLineOption records(QStringLiteral("records"),
                                     QStringLiteral("Recharge records over the year (default "
                                                    "1000000)."),
                                     QStringLiteral("n"), QStringLiteral("1000000"));
    const QCommandLineOption reuse(QStringLiteral("database"),
                                   QStringLiteral("Build the database at this path, or use the "
                                                  "one there, built before with the same counts."),
                                   QStringLiteral("path"));
    parser.addOption(cardholders);
    parser.addOption(records);
    parser.addOption(reuse);
    const QCommandLineOption copy(QStringLiteral("copy"),
                                  QStringLiteral("Time only the backup and the restore."));
    parser.addOption(copy);
    const QCommandLineOption trail(QStringLiteral("trail"),
                                   QStringLiteral("Time only the settlement, the audit window and "
                                                  "the audit chain's check (adds a journal entry "
                                                  "per record and as many audit entries)."));
    parser.addOption(trail);
    const QCommandLineOption version(QStringLiteral("version"),
                                     QStringLiteral("Output version information and exit."));
    parser.addOption(version);
    if (!parser.parse(app.arguments()))
        return CommandLine::ReportUsageError("velkar-bench", parser.errorText());
    if (parser.isSet(QStringLiteral("help")))
        parser.showHelp(0);
    if (parser.isSet(version)) {
        std::printf("velkar-bench %s\n", qUtf8Printable(CommandLine::Version()));
        return 0;
    }

    Context ctx;
    ctx.cardholders = std::max(parser.value(cardholders).toInt(), 1);
    ctx.records = std::max(parser.value(records).toInt(), 0);
    QTemporaryDir dir;
    if (!dir.isValid()) {
        std::fprintf(stderr, "velkar-bench: no temporary folder\n");
        return 1;
    }
    ctx.path = dir.filePath(Schema::DatabaseFileName);
    count("cardholders", ctx.cardholders);
    count("records", ctx.records);
    if (parser.isSet(reuse)) {
        const QString built = QFileInfo(parser.value(reuse)).absoluteFilePath();
        if (!QFileInfo::exists(built))
            buildDatabase(ctx, built);
        QFile::link(built, ctx.path);
    } else {
        buildDatabase(ctx, ctx.path);
    }
    QDir::setCurrent(dir.path()); // the windows open DataBase.mdb in the current folder
    if (parser.isSet(trail)) {
        trailFigures(ctx);
        return finish(ctx);
    }
    if (parser.isSet(copy)) {
        copyWindow(ctx);
        return finish(ctx);
    }
    queryWindow(ctx);
    previewWindow(ctx);
    cardList(ctx);
    recordsWindow(ctx);
    printYear(ctx);
    return finish(ctx);
}
