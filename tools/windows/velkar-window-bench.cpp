// Times the archive and report windows against a large generated database and prints one
// figure a line, "name: value".
#include "app/Startup.h"
#include "base/Clock.h"
#include "base/CommandLine.h"
#include "base/Messages.h"
#include "base/Settings.h"
#include "data/AdoConn.h"
#include "data/Audit.h"
#include "data/CardRecords.h"
#include "data/DatabaseCopy.h"
#include "data/Journal.h"
#include "data/Schema.h"
#include "data/Settlement.h"
#include "desk/windows/AuditDlg.h"
#include "desk/windows/DatabaseActions.h"
#include "records/windows/RecordsDlg.h"
#include "reports/ReportLayout.h"
#include "reports/TextTableModel.h"
#include "reports/windows/PreviewDlg.h"
#include "reports/windows/QueryDlg.h"
#include "tools/BenchFigures.h"
#include "users/Accounts.h"
#include "users/windows/LoginDlg.h"

#include "support/Controls.h"
#include "support/FakeDialogs.h"

#include <QAbstractItemModel>
#include <QAbstractTableModel>
#include <QApplication>
#include <QComboBox>
#include <QCommandLineParser>
#include <QDateEdit>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QHeaderView>
#include <QLineEdit>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>

#include <libpq-fe.h>
#include <openssl/evp.h>
#include <sodium.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <unistd.h>

#include <charconv>
#include <cstdio>
#include <cstring>
#include <functional>
#include <utility>
#include <vector>

using namespace velkar;

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
            std::fprintf(stderr, "velkar-window-bench: message: %s\n", qPrintable(text));
        });
    }
};

void figure(const QByteArray& name, double value, const char* unit) {
    std::printf("%s: %.1f %s\n", name.constData(), value, unit);
    std::fflush(stdout);
}

void count(const QByteArray& name, qint64 value) {
    std::printf("%s: %lld\n", name.constData(), static_cast<long long>(value));
    std::fflush(stdout);
}

void ratio(const QByteArray& name, double part, double whole) {
    std::printf("%s: %.2f\n", name.constData(), whole > 0 ? part / whole : 0.0);
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

// The quickest of `runs` runs of `work`; `untimed` runs before each, outside the time.
double bestOf(int runs, const std::function<void()>& work,
              const std::function<void()>& untimed = {}) {
    double best = 1e300;
    for (int i = 0; i < runs; ++i) {
        if (untimed)
            untimed();
        best = std::min(best, milliseconds(work));
    }
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
        std::fprintf(stderr, "velkar-window-bench: %s: %s\n", sql, error);
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
            std::fprintf(stderr, "velkar-window-bench: %s\n", qPrintable(problem));
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

// What a window that reads only what it shows must at least read: each statement's first
// `rows` rows (all of them for -1), on the floors' kept connection, the statements one after
// the other, best of three.
struct ShownRead {
    QByteArray sql;
    QList<QByteArray> binds;
    int rows = -1;
};

// The floors' own connection to the generated file, opened once.
sqlite3* floorConnection(const Context& ctx) {
    static sqlite3* db = nullptr;
    if (!db)
        sqlite3_open_v2(ctx.path.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
    return db;
}

// Runs `read`, handing each cell's text to `cell` (row, column, text).
void readShown(sqlite3* db, const ShownRead& read,
               const std::function<void(int, int, const unsigned char*)>& cell) {
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, read.sql.constData(), -1, &stmt, nullptr) != SQLITE_OK) {
        std::fprintf(stderr, "velkar-window-bench: %s: %s\n", read.sql.constData(),
                     sqlite3_errmsg(db));
        std::exit(1);
    }
    for (int i = 0; i < read.binds.size(); ++i)
        bindText(stmt, i + 1, read.binds[i]);
    const int columns = sqlite3_column_count(stmt);
    for (int r = 0; (read.rows < 0 || r < read.rows) && sqlite3_step(stmt) == SQLITE_ROW; ++r)
        for (int c = 0; c < columns; ++c)
            cell(r, c, sqlite3_column_text(stmt, c));
    sqlite3_finalize(stmt);
}

double shownFloor(const Context& ctx, const QList<ShownRead>& reads) {
    sqlite3* db = floorConnection(ctx);
    return bestOf(3, [&] {
        for (const ShownRead& read : reads)
            readShown(db, read, [](int, int, const unsigned char*) {});
    });
}

// The rows a bare list shows: `count` of them, of which the first screen's cells are known.
class BareRows : public QAbstractTableModel {
public:
    BareRows(qsizetype count, int columns) : m_count(count), m_columns(columns) {}
    int rowCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : int(m_count);
    }
    int columnCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : m_columns;
    }
    QVariant data(const QModelIndex& index, int role) const override {
        const std::size_t cell =
            std::size_t(index.row()) * std::size_t(m_columns) + std::size_t(index.column());
        if (role != Qt::DisplayRole || cell >= cells.size())
            return {};
        return cells[cell];
    }
    std::vector<QString> cells; // row by row

private:
    qsizetype m_count;
    int m_columns;
};

// The shown floor and the least a window must add to it: the count and the screen's rows, read
// as there, painted in a bare list of the window's list's size that holds as many rows.
double paintedFloor(const Context& ctx, const ShownRead& count, const ShownRead& screen,
                    int columns, QSize size) {
    sqlite3* db = floorConnection(ctx);
    return bestOf(3, [&] {
        qsizetype rows = 0;
        readShown(db, count, [&](int, int, const unsigned char* text) {
            rows = qsizetype(std::strtoll(reinterpret_cast<const char*>(text), nullptr, 10));
        });
        BareRows model(rows, columns);
        readShown(db, screen, [&](int, int column, const unsigned char* text) {
            if (column < columns) // the position that follows the shown columns is not shown
                model.cells.push_back(QString::fromUtf8(reinterpret_cast<const char*>(text)));
        });
        QTableView list;
        list.verticalHeader()->hide();
        list.setModel(&model);
        list.resize(size);
        list.show();
        list.grab();
    });
}

// A window's figure as NAME_ms beside the shown floor of the same run.
void againstShownFloor(const QByteArray& name, double ms, double floorMs) {
    figure(name + "_ms", ms, "ms");
    figure(name + "_shown_floor_ms", floorMs, "ms");
    ratio(name + "_shown_ratio", ms, floorMs);
}

// The range's count and total from the kept days, then its first `rows` rows with their names.
QList<ShownRead> shownRecords(QDate from, QDate to, int rows) {
    const QByteArray start = DayStartText(from).toUtf8(), end = DayEndText(to).toUtf8();
    return {{"SELECT sum(count), sum(total), sum(negative) FROM record_days WHERE lo BETWEEN ? "
             "AND ?",
             {start, end}},
            {Statements::RecordsBetweenWithNames, {start, end}, rows}};
}

QList<QByteArray> range(QDate from, QDate to) {
    return {DayStartText(from).toUtf8(), DayEndText(to).toUtf8()};
}

// A window's figure beside its floor from the same run.
void againstFloor(const QByteArray& name, double ms, const Floor& floor) {
    figure(name, ms, "ms");
    figure(name + "_floor", floor.ms, "ms");
    ratio(name + "_floor_ratio", ms, floor.ms);
}

// Runs 查询 over a range and paints the window.
double runQuery(CQueryDlg& dlg, QDate from, QDate to) {
    control<QDateEdit>(&dlg, "dateFromEdit")->setDate(from);
    control<QDateEdit>(&dlg, "dateToEdit")->setDate(to);
    return milliseconds([&] {
        control<QPushButton>(&dlg, "queryButton")->click();
        dlg.grab();
    });
}

// A floor read of a statement written with ? placeholders and its bound texts.
using FloorOf = std::function<Floor(const char* sql, const QList<QByteArray>& binds)>;

struct QueryFigures {
    double day = 0;
    double year = 0;
};

// The query window over the measured day and the whole year, on the database VELKAR_DATABASE
// names (else the file in the current folder); every figure named with `prefix` first.
QueryFigures queryWindow(Context& ctx, const QByteArray& prefix, const FloorOf& floorOf) {
    const auto name = [&](const char* figureName) { return QByteArray(prefix).append(figureName); };
    const Floor dayFloor =
        floorOf(Statements::RecordsBetweenWithNames, range(ctx.measuredDay, ctx.measuredDay));
    const Floor yearFloor =
        floorOf(Statements::RecordsBetweenWithNames, range(ctx.firstDay, ctx.lastDay));
    const FixedClock clock(QDateTime(ctx.measuredDay, QTime(12, 0)));
    CQueryDlg dlg(ctx.dialogs, clock);
    dlg.show();
    QCoreApplication::processEvents();
    QueryFigures figures;
    figures.day = 1e300;
    for (int i = 0; i < 3; ++i)
        figures.day = std::min(figures.day, runQuery(dlg, ctx.measuredDay, ctx.measuredDay));
    count(name("query_day_records"), control<QTableView>(&dlg, "recordList")->model()->rowCount());
    againstFloor(name("query_day"), figures.day, dayFloor);

    figures.year = 1e300;
    for (int i = 0; i < 3; ++i)
        figures.year = std::min(figures.year, runQuery(dlg, ctx.firstDay, ctx.lastDay));
    auto* view = control<QTableView>(&dlg, "recordList");
    count(name("query_year_records"), view->model()->rowCount());
    againstFloor(name("query_year"), figures.year, yearFloor);
    if (prefix.isEmpty())
        againstShownFloor(ctx.records >= 5000000 ? "query_year_5m" : "query_year", figures.year,
                          shownFloor(ctx, shownRecords(ctx.firstDay, ctx.lastDay, 64)));
    figure(name("query_year_peak_memory"), peakMegabytes(), "MB");
    const double end = milliseconds([&] {
        view->scrollToBottom();
        dlg.grab();
    });
    figure(name("query_year_scroll_to_last_row"), end, "ms");
    const QAbstractItemModel* model = view->model();
    std::printf("%s: %s %s %s %s\n", name("query_year_last_row").constData(),
                qUtf8Printable(model->index(model->rowCount() - 1, 0).data().toString()),
                qUtf8Printable(model->index(model->rowCount() - 1, 1).data().toString()),
                qUtf8Printable(model->index(model->rowCount() - 1, 2).data().toString()),
                qUtf8Printable(model->index(model->rowCount() - 1, 3).data().toString()));
    return figures;
}

void previewWindow(Context& ctx) {
    const FixedClock clock(QDateTime(ctx.lastDay, QTime(12, 0)));
    // A window opened anew each time, as the query window's button opens it; the first
    // opening of the process also pays for the fonts and styles, which no later one does.
    std::unique_ptr<CPreviewDlg> opened;
    const auto openPreview = [&] {
        opened = std::make_unique<CPreviewDlg>(ctx.dialogs, clock, DayStartText(ctx.firstDay),
                                               DayEndText(ctx.lastDay));
        opened->show();
        opened->grab();
    };
    figure("preview_first_open_year", milliseconds(openPreview), "ms");
    const double open = bestOf(3, openPreview, [&] { opened.reset(); });
    CPreviewDlg& dlg = *opened;
    figure("preview_open_year", open, "ms");
    againstShownFloor(
        "preview_year", open,
        shownFloor(ctx, shownRecords(ctx.firstDay, ctx.lastDay, ReportLayout::RowsPerPage)));
    dlg.ShowPage(ReportLayout::LastPage(dlg.recordCount()));
    count("preview_page_index", dlg.page());
    figure("preview_page", bestOf(5, [&] { dlg.grab(); }), "ms");
}

// The desk's list of one card: its rows as shown in a list of the desk's size, its total.
void cardList(Context& ctx) {
    const Floor floor = floorRead(ctx, Statements::CardRecords, {BigCard});
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
    control<QDateEdit>(&dlg, "dateFromEdit")->setDate(ctx.firstDay);
    control<QDateEdit>(&dlg, "dateToEdit")->setDate(ctx.lastDay);
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
    count("print_year_progress_steps", qint64(rss.size()));
    if (!rss.empty()) {
        figure("print_memory_before", before, "MB");
        figure("print_memory_at_first_page", rss.front(), "MB");
        figure("print_memory_at_middle_page", rss[rss.size() / 2], "MB");
        figure("print_memory_at_last_page", rss.back(), "MB");
    }
    count("print_year_pdf_bytes", QFileInfo(out.filePath(QStringLiteral("year.pdf"))).size());
}

void recordsWindow(Context& ctx) {
    const Floor floor = floorRead(ctx, Statements::CardholderList, {});
    std::unique_ptr<CRecordsDlg> dlg;
    const auto openRecords = [&] {
        dlg = std::make_unique<CRecordsDlg>(ctx.dialogs);
        dlg->show();
        dlg->grab();
    };
    // As the preview: the first opening also pays for what the process loads once.
    figure("records_first_open", milliseconds(openRecords), "ms");
    const double open = bestOf(3, openRecords, [&] { dlg.reset(); });
    auto* list = control<QTableView>(dlg.get(), "recordList");
    count("records_listed", list->model()->rowCount());
    againstFloor("records_open", open, floor);
    const ShownRead counted{Statements::CardholderCount, {}};
    const ShownRead screen{Statements::CardholderBlock, {"", "0", "64"}, 64};
    againstShownFloor("records_window", open, shownFloor(ctx, {counted, screen}));
    const double painted =
        paintedFloor(ctx, counted, screen, list->model()->columnCount(), list->size());
    figure("records_window_painted_floor_ms", painted, "ms");
    ratio("records_window_painted_ratio", open, painted);

    auto* combo = control<QComboBox>(dlg.get(), "fieldCombo");
    combo->setCurrentIndex(combo->findText(QStringLiteral("姓名")));
    control<QLineEdit>(dlg.get(), "searchEdit")->setText(holderName(ctx.cardholders / 2));
    const double search = bestOf(3, [&] {
        control<QPushButton>(dlg.get(), "searchButton")->click();
        dlg->grab();
    });
    count("search_found", control<QTableView>(dlg.get(), "recordList")->model()->rowCount());
    figure("search", search, "ms");
    const QByteArray name = holderName(ctx.cardholders / 2).toUtf8();
    againstShownFloor("name_search", search,
                      shownFloor(ctx, {{"SELECT count(*) FROM userecord WHERE 姓名 = ?", {name}},
                                       {QByteArray("SELECT ") + Statements::CardholderColumns +
                                            " FROM userecord WHERE 姓名 = ? ORDER BY 卡号",
                                        {name},
                                        64}}));
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
        figure(QByteArray(name).append("_longest_pause"), double(longestPause), "ms");
    };
    // "备份完成！", the restore's question and "数据库还原成功！" are the boxes expected; any
    // other counts. The time of the restore includes the counting of what it would give up.
    timed("backup", [&] { actions.BackupDatabase(); });
    ctx.expectedBoxes += ctx.dialogs.lastText() == Messages::BackupDone();
    count("database_bytes", QFileInfo(backup).size());
    ctx.dialogs.answerQuestion(true);
    longestPause = 0;
    tick.start(5);
    sinceTick.start();
    const double restore = milliseconds([&] { actions.OnRestore(); });
    tick.stop();
    ctx.expectedBoxes += ctx.dialogs.questions().size() == 1;
    ctx.expectedBoxes += ctx.dialogs.lastText().startsWith(Messages::RestoreDone());
    // The floor: the chosen file copied page for page and given SQLite's full check, on one
    // connection, as the sqlite3 shell would.
    const QString copied = folder.filePath(QStringLiteral("floor.mdb"));
    const double floor = milliseconds([&] {
        sqlite3* from = nullptr;
        sqlite3* to = nullptr;
        sqlite3_open_v2(backup.toUtf8().constData(), &from, SQLITE_OPEN_READONLY, nullptr);
        sqlite3_open(copied.toUtf8().constData(), &to);
        sqlite3_backup* copy = sqlite3_backup_init(to, "main", from, "main");
        while (sqlite3_backup_step(copy, 2048) == SQLITE_OK) {
        }
        sqlite3_backup_finish(copy);
        sqlite3_close(from);
        sqlite3_stmt* check = nullptr;
        sqlite3_prepare_v2(to, "PRAGMA integrity_check", -1, &check, nullptr);
        if (sqlite3_step(check) != SQLITE_ROW ||
            std::strcmp(reinterpret_cast<const char*>(sqlite3_column_text(check, 0)), "ok") != 0)
            std::fprintf(stderr, "velkar-window-bench: the floor's copy is not sound\n");
        sqlite3_finalize(check);
        sqlite3_close(to);
    });
    QFile::remove(copied);
    figure("restore_ms", restore, "ms");
    figure("restore_shown_floor_ms", floor, "ms");
    ratio("restore_shown_ratio", restore, floor);
    figure("restore_longest_pause", double(longestPause), "ms");
}

// ---- Both engines on the same rows --------------------------------------------------------

[[noreturn]] void fail(const QString& why) {
    std::fprintf(stderr, "velkar-window-bench: %s\n", qPrintable(why));
    std::exit(1);
}

// `?` placeholders numbered as a server wants them; the statements timed quote no `?`.
QByteArray serverParameters(const char* sql) {
    QByteArray out;
    int next = 0;
    for (const char* c = sql; *c; ++c) {
        if (*c == '?')
            out += '$' + QByteArray::number(++next);
        else
            out += *c;
    }
    return out;
}

// The floors' side of an engine: statements straight through its C API on one kept connection,
// the booking's prepared once, every cell of every row read as text.
class RawEngine {
public:
    virtual ~RawEngine() = default;
    virtual void prepare(int slot, const char* sql) = 0;
    // The first row's first cell as a number, 0 without rows.
    virtual qint64 run(int slot, const QList<QByteArray>& binds) = 0;
    virtual void exec(const char* sql) = 0;
    // The write lock a booking takes, as the program's write transaction takes it.
    virtual void beginWrite() = 0;
};

class RawFile : public RawEngine {
public:
    RawFile(const RawFile&) = delete;
    RawFile& operator=(const RawFile&) = delete;
    explicit RawFile(const QString& path) {
        if (sqlite3_open_v2(path.toUtf8().constData(), &m_db, SQLITE_OPEN_READWRITE, nullptr) !=
            SQLITE_OK)
            fail(QStringLiteral("cannot open %1").arg(path));
        sqlite3_busy_timeout(m_db, 10000);
    }
    ~RawFile() override {
        for (sqlite3_stmt* stmt : m_statements)
            sqlite3_finalize(stmt);
        sqlite3_close(m_db);
    }
    void prepare(int slot, const char* sql) override {
        m_statements.resize(std::max(m_statements.size(), std::size_t(slot + 1)));
        if (sqlite3_prepare_v2(m_db, sql, -1, &m_statements[std::size_t(slot)], nullptr) !=
            SQLITE_OK)
            fail(QString::fromUtf8(sqlite3_errmsg(m_db)));
    }
    qint64 run(int slot, const QList<QByteArray>& binds) override {
        sqlite3_stmt* stmt = m_statements[std::size_t(slot)];
        sqlite3_reset(stmt);
        for (int i = 0; i < binds.size(); ++i)
            bindText(stmt, i + 1, binds[i]);
        qint64 first = 0;
        bool any = false;
        int rc;
        while ((rc = sqlite3_step(stmt)) == SQLITE_ROW)
            if (!std::exchange(any, true))
                first = sqlite3_column_int64(stmt, 0);
        if (rc != SQLITE_DONE)
            fail(QString::fromUtf8(sqlite3_errmsg(m_db)));
        return first;
    }
    void exec(const char* sql) override { ::exec(m_db, sql); }
    void beginWrite() override { exec("BEGIN IMMEDIATE"); }

private:
    sqlite3* m_db = nullptr;
    std::vector<sqlite3_stmt*> m_statements;
};

class RawServer : public RawEngine {
public:
    RawServer(const RawServer&) = delete;
    RawServer& operator=(const RawServer&) = delete;
    explicit RawServer(const QString& uri) {
        m_conn = PQconnectdb(uri.toUtf8().constData());
        if (PQstatus(m_conn) != CONNECTION_OK)
            fail(QString::fromUtf8(PQerrorMessage(m_conn)));
    }
    ~RawServer() override { PQfinish(m_conn); }
    void prepare(int slot, const char* sql) override {
        check(PQprepare(m_conn, name(slot).constData(), serverParameters(sql).constData(), 0,
                        nullptr));
    }
    qint64 run(int slot, const QList<QByteArray>& binds) override {
        const std::vector<const char*> values = pointers(binds);
        return first(PQexecPrepared(m_conn, name(slot).constData(), int(values.size()),
                                    values.data(), nullptr, nullptr, 0));
    }
    void exec(const char* sql) override { check(PQexec(m_conn, sql)); }
    // The lock every desk's write transaction takes on a server.
    void beginWrite() override {
        exec("BEGIN");
        exec("SELECT pg_advisory_xact_lock(5647153)");
    }
    // The statement parsed, run and read as the program's reads are: unprepared, all rows at once.
    Floor read(const char* sql, const QList<QByteArray>& binds) {
        const QByteArray text = serverParameters(sql);
        Floor floor;
        floor.ms = bestOf(3, [&] {
            const std::vector<const char*> values = pointers(binds);
            PGresult* result = PQexecParams(m_conn, text.constData(), int(values.size()), nullptr,
                                            values.data(), nullptr, nullptr, 0);
            if (PQresultStatus(result) != PGRES_TUPLES_OK)
                fail(QString::fromUtf8(PQresultErrorMessage(result)));
            floor.rows = PQntuples(result);
            const int columns = PQnfields(result);
            std::size_t bytes = 0;
            for (int r = 0; r < floor.rows; ++r)
                for (int c = 0; c < columns; ++c) {
                    PQgetvalue(result, r, c);
                    bytes += std::size_t(PQgetlength(result, r, c));
                }
            PQclear(result);
            if (bytes == 0 && floor.rows > 0)
                std::abort();
        });
        return floor;
    }

private:
    static QByteArray name(int slot) { return "s" + QByteArray::number(slot); }
    static std::vector<const char*> pointers(const QList<QByteArray>& binds) {
        std::vector<const char*> values;
        for (const QByteArray& b : binds)
            values.push_back(b.constData());
        return values;
    }
    void check(PGresult* result) {
        const ExecStatusType status = PQresultStatus(result);
        if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK)
            fail(QString::fromUtf8(PQresultErrorMessage(result)));
        PQclear(result);
    }
    qint64 first(PGresult* result) {
        const ExecStatusType status = PQresultStatus(result);
        if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK)
            fail(QString::fromUtf8(PQresultErrorMessage(result)));
        const qint64 value =
            PQntuples(result) > 0 ? std::strtoll(PQgetvalue(result, 0, 0), nullptr, 10) : 0;
        PQclear(result);
        return value;
    }

    PGconn* m_conn = nullptr;
};

// A server database of its own for the run: in a throw-away server started for it ("auto", the
// tests' server, here syncing its commits as the file does) and stopped after, or made on the
// server the maintenance URI names and dropped after.
class BenchServer {
public:
    explicit BenchServer(const QString& named) : m_started(named == QLatin1String("auto")) {
        QString maintenance = named;
        if (m_started) {
            if (!m_folder.isValid())
                fail(QStringLiteral("no temporary folder"));
            m_uriFile = m_folder.filePath(QStringLiteral("server.uri"));
            if (script({QStringLiteral("start"), m_uriFile, QStringLiteral("--fsync")}) != 0)
                fail(QStringLiteral("the throw-away server did not start"));
            QFile file(m_uriFile);
            if (!file.open(QIODevice::ReadOnly))
                fail(QStringLiteral("the throw-away server gave no URI"));
            maintenance = QString::fromUtf8(file.readAll()).trimmed();
        }
        m_name = QStringLiteral("velkar_bench_%1").arg(QCoreApplication::applicationPid());
        m_location = BenchFigures::WithDatabase(maintenance, m_name);
        if (EngineOf(maintenance) != Engine::Postgres || m_location.isEmpty())
            fail(QStringLiteral("%1 is no postgresql:// URI").arg(maintenance));
        try {
            Connection(maintenance).run(QStringLiteral("CREATE DATABASE %1").arg(m_name));
        } catch (const DataError& e) {
            stop();
            fail(e.description());
        }
        m_maintenance = maintenance;
    }
    ~BenchServer() {
        if (!m_started && !m_maintenance.isEmpty()) {
            try {
                Connection(m_maintenance).run(QStringLiteral("DROP DATABASE %1").arg(m_name));
            } catch (const DataError& e) {
                std::fprintf(stderr, "velkar-window-bench: %s left behind: %s\n",
                             qPrintable(m_name), qPrintable(e.description()));
            }
        }
        stop();
    }
    BenchServer(const BenchServer&) = delete;
    BenchServer& operator=(const BenchServer&) = delete;
    QString location() const { return m_location; }

private:
    // Run from the root folder: the server's own user may not enter the benchmark's.
    static int script(const QStringList& arguments) {
        QProcess process;
        process.setProcessChannelMode(QProcess::ForwardedChannels);
        process.setWorkingDirectory(QDir::rootPath());
        process.start(QStringLiteral(VELKAR_TEST_SERVER), arguments);
        if (!process.waitForFinished(-1) || process.exitStatus() != QProcess::NormalExit)
            return -1;
        return process.exitCode();
    }
    void stop() {
        if (m_started)
            script({QStringLiteral("stop"), m_uriFile});
        m_started = false;
    }

    bool m_started;
    QTemporaryDir m_folder;
    QString m_uriFile;
    QString m_name;
    QString m_location;
    QString m_maintenance;
};

// The commands booked: recharges of distinct cards, stamped after the generated year so that
// no timed read meets them.
struct Command {
    Journal::Entry entry;
    Journal::Resolution resolution;
};

Command commandAt(const Context& ctx, int n) {
    Command c;
    Journal::Entry& e = c.entry;
    e.cardNo = QString::fromLatin1(cardNumber(n % ctx.cardholders));
    e.operation = Journal::Operation::Recharge;
    e.amount = 10 + n % 50;
    e.balanceBefore = 100;
    e.balanceExpected = 100 + e.amount * 10;
    e.operatorName = QStringLiteral("操作员1");
    e.desk = QStringLiteral("bench");
    e.sentAt = TimestampText(QDateTime(ctx.lastDay.addDays(1), QTime(0, 0)).addSecs(n));
    c.resolution.state = Journal::State::Booked;
    c.resolution.balanceSeen = e.balanceExpected;
    c.resolution.at = e.sentAt;
    c.resolution.amountText = QString::number(e.amount);
    return c;
}

// Each command written to the journal and booked as the desk books it, timed whole.
std::vector<double> bookThroughJournal(const Context& ctx, const QString& location, int first,
                                       int commands) {
    std::vector<double> times;
    try {
        const Connection db(location);
        for (int n = first; n < first + commands; ++n) {
            Command c = commandAt(ctx, n);
            times.push_back(milliseconds([&] {
                c.entry.id = Journal::Add(db, c.entry);
                c.resolution.entry = c.entry;
                Journal::Resolve(db, {c.resolution});
            }));
        }
    } catch (const DataError& e) {
        fail(e.description());
    }
    return times;
}

// The rows the journal writes for each command, with their statements prepared once.
std::vector<double> bookRaw(const Context& ctx, RawEngine& raw, int first, int commands) {
    enum { AddEntry, AddRecord, MarkEntry, AddAuditEntry, LastAuditId };
    raw.prepare(AddEntry, Statements::AddJournalEntry);
    raw.prepare(AddRecord, Statements::BookRecord);
    raw.prepare(MarkEntry, Statements::ResolveJournalEntry);
    raw.prepare(AddAuditEntry, Statements::AddAuditEntry);
    raw.prepare(LastAuditId, "SELECT coalesce(max(id), 0) FROM audit");
    qint64 auditId = raw.run(LastAuditId, {});
    const QByteArray hash(64, '0');
    std::vector<double> times;
    for (int n = first; n < first + commands; ++n) {
        const Command c = commandAt(ctx, n);
        const Journal::Entry& e = c.entry;
        const QByteArray card = e.cardNo.toUtf8();
        const QByteArray at = c.resolution.at.toUtf8();
        const QByteArray desk = e.desk.toUtf8();
        const QByteArray account = e.operatorName.toUtf8();
        times.push_back(milliseconds([&] {
            const qint64 id =
                raw.run(AddEntry, {card, "recharge", QByteArray::number(e.amount),
                                   QByteArray::number(e.balanceBefore),
                                   QByteArray::number(e.balanceExpected), account, desk, at});
            raw.beginWrite();
            const qint64 record = raw.run(AddRecord, {card, at, c.resolution.amountText.toUtf8()});
            raw.run(MarkEntry, {"booked", at, QByteArray::number(c.resolution.balanceSeen),
                                QByteArray::number(record), QByteArray::number(id)});
            raw.run(AddAuditEntry,
                    {QByteArray::number(++auditId), at, account, desk, Audit::Command.toUtf8(),
                     "日志 " + QByteArray::number(id) + " 卡号 " + card, hash});
            raw.exec("COMMIT");
        }));
    }
    return times;
}

// Booking committed on one engine, beside its floor; the median returned.
double bookingFigures(const Context& ctx, const QByteArray& prefix, const QString& location,
                      RawEngine& raw, int commands) {
    const BenchFigures::Spread booked =
        BenchFigures::SpreadOf(bookThroughJournal(ctx, location, 0, commands));
    const BenchFigures::Spread floor =
        BenchFigures::SpreadOf(bookRaw(ctx, raw, commands, commands));
    figure(prefix + "booking_median", booked.median, "ms");
    figure(prefix + "booking_p95", booked.p95, "ms");
    figure(prefix + "booking_floor_median", floor.median, "ms");
    figure(prefix + "booking_floor_p95", floor.p95, "ms");
    ratio(prefix + "booking_floor_ratio", booked.median, floor.median);
    try {
        const Connection db(location);
        Query added(db, QStringLiteral("SELECT count(*) FROM employees WHERE 日期 > ?"));
        added.bind(1, DayEndText(ctx.lastDay));
        added.next();
        count(prefix + "booking_records_added", added.integer(0));
    } catch (const DataError& e) {
        fail(e.description());
    }
    return booked.median;
}

qint64 rowsOn(const Connection& db, const char* table) {
    Query q(db, QStringLiteral("SELECT count(*) FROM %1").arg(QLatin1String(table)));
    q.next();
    return q.integer(0);
}

// The generated file and a server database loaded from it, side by side: the query window over
// a day and over the year, then booking committed, each against its floor.
void compareEngines(Context& ctx, const QString& named, int commands) {
    const BenchServer server(named);
    const double load = milliseconds([&] {
        const QString problem = DatabaseCopy::Import(ctx.path, server.location());
        if (!problem.isEmpty())
            fail(problem);
    });
    figure("server_load", load / 1000, "s");
    try {
        const Connection db(server.location());
        // An import leaves the planner's statistics to the server's own time.
        figure("server_analyze", milliseconds([&] { db.run(QStringLiteral("ANALYZE")); }) / 1000,
               "s");
        count("server_cardholders", rowsOn(db, "userecord"));
        count("server_records", rowsOn(db, "employees"));
    } catch (const DataError& e) {
        fail(e.description());
    }

    const QueryFigures file =
        queryWindow(ctx, "sqlite_", [&](const char* sql, const QList<QByteArray>& binds) {
            return floorRead(ctx, sql, binds);
        });
    QueryFigures shared;
    {
        RawServer raw(server.location());
        qputenv("VELKAR_DATABASE", server.location().toUtf8());
        shared = queryWindow(ctx, "server_", [&](const char* sql, const QList<QByteArray>& binds) {
            return raw.read(sql, binds);
        });
        qunsetenv("VELKAR_DATABASE");
    }
    ratio("query_day_server_to_sqlite", shared.day, file.day);
    ratio("query_year_server_to_sqlite", shared.year, file.year);

    // The file is booked into a copy, so that a reused database keeps its counts.
    const QString copy = QFileInfo(ctx.path).dir().filePath(QStringLiteral("booking.mdb"));
    if (!QFile::copy(ctx.path, copy))
        fail(QStringLiteral("cannot copy %1").arg(ctx.path));
    count("bookings", commands);
    double fileBooking = 0;
    {
        RawFile raw(copy);
        fileBooking = bookingFigures(ctx, "sqlite_", copy, raw, commands);
    }
    QFile::remove(copy);
    double serverBooking = 0;
    {
        RawServer raw(server.location());
        serverBooking = bookingFigures(ctx, "server_", server.location(), raw, commands);
    }
    ratio("booking_server_to_sqlite", serverBooking, fileBooking);
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

// The chain walked straight through SQLite's C API, each entry's bytes hashed by `hash` into
// 64 hexadecimal digits: the floor of the chain's check, from the entry after `afterId` on.
// Returns the entries found intact.
template <typename Hash> qint64 rawChainWalk(const QString& path, qint64 afterId, Hash hash) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* rows = nullptr;
    sqlite3_prepare_v2(db,
                       "SELECT id, time, account, desk, action, details, hash FROM audit "
                       "WHERE id > ? ORDER BY id",
                       -1, &rows, nullptr);
    sqlite3_bind_int64(rows, 1, afterId);
    std::string bytes;
    std::string previous;
    if (afterId > 0) {
        sqlite3_stmt* at = nullptr;
        sqlite3_prepare_v2(db, "SELECT hash FROM audit WHERE id = ?", -1, &at, nullptr);
        sqlite3_bind_int64(at, 1, afterId);
        if (sqlite3_step(at) == SQLITE_ROW)
            previous = reinterpret_cast<const char*>(sqlite3_column_text(at, 0));
        sqlite3_finalize(at);
    }
    unsigned char digest[32];
    char hex[64];
    char number[24];
    qint64 intact = 0;
    while (sqlite3_step(rows) == SQLITE_ROW) {
        bytes.clear();
        const auto put = [&](qint64 value) {
            bytes.append(number,
                         std::size_t(std::to_chars(number, number + 24, value).ptr - number));
        };
        put(sqlite3_column_int64(rows, 0));
        for (int c = 1; c <= 5; ++c) {
            const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(rows, c));
            const int length = sqlite3_column_bytes(rows, c);
            bytes += '\x1f';
            put(length);
            bytes += ':';
            bytes.append(text ? text : "", std::size_t(length));
        }
        bytes += '\x1e';
        bytes += previous;
        hash(bytes, digest);
        static constexpr char Digits[] = "0123456789abcdef";
        for (int i = 0; i < 32; ++i) {
            hex[2 * i] = Digits[digest[i] >> 4];
            hex[2 * i + 1] = Digits[digest[i] & 15];
        }
        const auto* stored = reinterpret_cast<const char*>(sqlite3_column_text(rows, 6));
        if (sqlite3_column_bytes(rows, 6) != 64 || std::memcmp(stored, hex, 64) != 0)
            break;
        previous.assign(stored, 64);
        ++intact;
    }
    sqlite3_finalize(rows);
    sqlite3_close(db);
    return intact;
}

qint64 opensslChainWalk(const QString& path, qint64 afterId = 0) {
    EVP_MD* md = EVP_MD_fetch(nullptr, "SHA256", nullptr);
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    const qint64 intact =
        rawChainWalk(path, afterId, [&](const std::string& bytes, unsigned char* digest) {
            unsigned int length = 0;
            EVP_DigestInit_ex2(context, md, nullptr);
            EVP_DigestUpdate(context, bytes.data(), bytes.size());
            EVP_DigestFinal_ex(context, digest, &length);
        });
    EVP_MD_CTX_free(context);
    EVP_MD_free(md);
    return intact;
}

// The least a login does: the account's stored hash read and the password checked against it,
// at the cost the hash was made with. True when it matches.
bool rawPasswordCheck(const QString& path, const QString& name, const QString& password) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* stored = nullptr;
    sqlite3_prepare_v2(db, "SELECT 密码 FROM permission WHERE 用户名 = ? LIMIT 1", -1, &stored,
                       nullptr);
    const QByteArray account = name.toUtf8();
    sqlite3_bind_text(stored, 1, account.constData(), int(account.size()), SQLITE_STATIC);
    std::string hash;
    if (sqlite3_step(stored) == SQLITE_ROW)
        hash = reinterpret_cast<const char*>(sqlite3_column_text(stored, 0));
    sqlite3_finalize(stored);
    sqlite3_close(db);
    const QByteArray typed = password.toUtf8();
    return crypto_pwhash_str_verify(hash.c_str(), typed.constData(),
                                    static_cast<unsigned long long>(typed.size())) == 0;
}

qint64 sodiumChainWalk(const QString& path) {
    return rawChainWalk(path, 0, [](const std::string& bytes, unsigned char* digest) {
        crypto_hash_sha256(digest, reinterpret_cast<const unsigned char*>(bytes.data()),
                           bytes.size());
    });
}

// The check of the whole chain beside the same walk through the C APIs (libcrypto's SHA-256,
// the one the check uses, and libsodium's for comparison); then the administrator's login,
// which walks only what was added since the check, beside its floor through the C APIs: one
// password check at the stored hash's cost and the walk of what was added.
void chainFigures(Context& ctx, const Connection& db) {
    bool intact = false;
    Audit::Checkpoint head;
    const double check = bestOf(3, [&] { intact = !Audit::Verify(db, &head); });
    qint64 walked = 0;
    const double floor = bestOf(3, [&] { walked = opensslChainWalk(ctx.path); });
    const double sodium = bestOf(1, [&] { sodiumChainWalk(ctx.path); });
    figure("chain_check_ms", check, "ms");
    figure("chain_check_shown_floor_ms", floor, "ms");
    ratio("chain_check_shown_ratio", check, floor);
    figure("chain_check_sodium_floor_ms", sodium, "ms");
    count("audit_chain_intact", intact && walked == head.id ? 1 : 0);
    count("audit_chain_entries", head.id);

    // The administrator with a password of its own, so no window asks for one.
    const QString admin = AdministratorName;
    const QString password = QStringLiteral("bench-admin-7");
    if (CheckLogin(nullptr, admin, password, ctx.path) != LoginOutcome::Success &&
        ChangePassword(nullptr, admin, admin, Schema::DeliveredPassword, password, password,
                       ctx.path) != PasswordOutcome::Changed)
        fail(QStringLiteral("cannot give the administrator a password"));
    QTemporaryDir home;
    Settings settings(home.filePath(QStringLiteral("Velkar.conf")));
    // What the desk's start leaves: the chain found intact up to its newest entry.
    Audit::Checkpoint started;
    if (Audit::Verify(db, &started))
        fail(QStringLiteral("the audit chain is broken"));
    RememberCheckedTrail(settings, ctx.path, &started);
    double first = 0;
    double login = 1e300;
    double loginFloor = 1e300;
    // The first login of the desk also tries each account's hash against the delivered password
    // once; the others take those verdicts from the settings.
    for (int round = 0; round < 4; ++round) {
        const qint64 before = settings.checkedTrail().id;
        bool matched = false;
        const double own = milliseconds([&] {
            matched = rawPasswordCheck(ctx.path, admin, password);
            opensslChainWalk(ctx.path, before);
        });
        if (!matched)
            fail(QStringLiteral("the floor's password check failed"));
        CLoginDlg dlg(ctx.dialogs, settings);
        control<QComboBox>(&dlg, "userCombo")->setCurrentIndex(0);
        control<QLineEdit>(&dlg, "passwordEdit")->setText(password);
        const qsizetype boxes = ctx.dialogs.texts().size();
        const double ms = milliseconds([&] { dlg.OnLogin(); });
        // The operators' delivered passwords are named at each login; nothing else may be.
        ctx.expectedBoxes += int(std::min<qsizetype>(ctx.dialogs.texts().size() - boxes, 1));
        if (dlg.result() != QDialog::Accepted)
            fail(QStringLiteral("the administrator's login failed"));
        if (round == 0) {
            first = ms;
            continue;
        }
        login = std::min(login, ms);
        loginFloor = std::min(loginFloor, own);
    }
    figure("login_admin_first_ms", first, "ms");
    figure("login_admin_ms", login, "ms");
    figure("login_admin_shown_floor_ms", loginFloor, "ms");
    ratio("login_admin_shown_ratio", login, loginFloor);
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
                          std::fprintf(stderr, "velkar-window-bench: audit window shows %d\n",
                                       dlg.rowCount());
                  }),
           "ms");
    chainFigures(ctx, db);
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
    const QCommandLineOption noPrint(QStringLiteral("no-print"),
                                     QStringLiteral("Leave out printing the year, which takes "
                                                    "minutes at several million records."));
    parser.addOption(noPrint);
    const QCommandLineOption trail(QStringLiteral("trail"),
                                   QStringLiteral("Time only the settlement, the audit window and "
                                                  "the audit chain's check (adds a journal entry "
                                                  "per record and as many audit entries)."));
    parser.addOption(trail);
    const QCommandLineOption server(
        QStringLiteral("server"),
        QStringLiteral("Time only the query window and booking committed, on the generated file "
                       "and on a server database loaded from it: in a throw-away server "
                       "(\"auto\") or in a new database on the server this URI names."),
        QStringLiteral("uri|auto"));
    parser.addOption(server);
    const QCommandLineOption bookings(QStringLiteral("bookings"),
                                      QStringLiteral("Commands booked on each engine and as many "
                                                     "for the floor (default 500)."),
                                      QStringLiteral("n"), QStringLiteral("500"));
    parser.addOption(bookings);
    const QCommandLineOption version(QStringLiteral("version"),
                                     QStringLiteral("Output version information and exit."));
    parser.addOption(version);
    if (!parser.parse(app.arguments()))
        return CommandLine::ReportUsageError("velkar-window-bench", parser.errorText());
    if (parser.isSet(QStringLiteral("help")))
        parser.showHelp(0);
    if (parser.isSet(version)) {
        std::printf("velkar-window-bench %s\n", qUtf8Printable(CommandLine::Version()));
        return 0;
    }

    Context ctx;
    ctx.cardholders = std::max(parser.value(cardholders).toInt(), 1);
    ctx.records = std::max(parser.value(records).toInt(), 0);
    QTemporaryDir dir;
    if (!dir.isValid()) {
        std::fprintf(stderr, "velkar-window-bench: no temporary folder\n");
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
    if (parser.isSet(server)) {
        compareEngines(ctx, parser.value(server), std::max(parser.value(bookings).toInt(), 1));
        return finish(ctx);
    }
    if (parser.isSet(copy)) {
        copyWindow(ctx);
        return finish(ctx);
    }
    queryWindow(ctx, {}, [&](const char* sql, const QList<QByteArray>& binds) {
        return floorRead(ctx, sql, binds);
    });
    previewWindow(ctx);
    cardList(ctx);
    recordsWindow(ctx);
    if (!parser.isSet(noPrint))
        printYear(ctx);
    return finish(ctx);
}
