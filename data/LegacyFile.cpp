#include "data/LegacyFile.h"

#include "base/Messages.h"

#include <QDate>
#include <QFile>
#include <QLocale>
#include <QStringDecoder>

#include <cmath>
#include <cstring>

// libmdb's header is C and wants glib's first.
#include <glib.h>

#include <mdbtools.h>

namespace velkar {

namespace {

// Where a row's offset ends and its flags begin, on pages of 2 and 4 KiB alike.
constexpr int RowOffsetMask = 0x1fff;

QString accessTypeName(int type) {
    switch (type) {
    case MDB_BOOL:
        return QStringLiteral("Yes/No");
    case MDB_BYTE:
        return QStringLiteral("Byte");
    case MDB_INT:
        return QStringLiteral("Integer");
    case MDB_LONGINT:
        return QStringLiteral("Long Integer");
    case MDB_MONEY:
        return QStringLiteral("Currency");
    case MDB_FLOAT:
        return QStringLiteral("Single");
    case MDB_DOUBLE:
        return QStringLiteral("Double");
    case MDB_DATETIME:
        return QStringLiteral("DateTime");
    case MDB_TEXT:
        return QStringLiteral("Text");
    case MDB_MEMO:
        return QStringLiteral("Memo");
    case MDB_NUMERIC:
        return QStringLiteral("Decimal");
    default:
        return QStringLiteral("type %1").arg(type);
    }
}

// The decoder of a Jet3 file's code page.
QStringDecoder codePageDecoder(int codePage) {
    switch (codePage) {
    case 0:
        return QStringDecoder("windows-1252");
    case 936:
        return QStringDecoder("GBK");
    case 950:
        return QStringDecoder("Big5");
    case 932:
        return QStringDecoder("Shift_JIS");
    default:
        return QStringDecoder(QStringLiteral("windows-%1").arg(codePage).toLatin1().constData());
    }
}

template <typename T> T load(const unsigned char* p) {
    T value;
    std::memcpy(&value, p, sizeof value); // the files are little-endian, as this machine
    return value;
}

} // namespace

bool AccessDateText(double value, char* out) {
    if (!std::isfinite(value) || value < -657434.0 || value >= 2958466.0) // 100-01-01 to 9999
        return false;
    const double whole = std::trunc(value);
    long long day = static_cast<long long>(whole);
    // Before 1899-12-30 the day counts down but the time of day still counts up.
    long long seconds = std::llround(std::fabs(value - whole) * 86400.0);
    if (seconds >= 86400) {
        seconds -= 86400;
        ++day;
    }
    // To a civil date, counted in 400-year eras from 0000-03-01 (1899-12-30 is its day 693899).
    const long long z = day + 693899;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const long long doe = z - era * 146097;
    const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    long long year = yoe + era * 400;
    const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long long mp = (5 * doy + 2) / 153;
    const long long dayOfMonth = doy - (153 * mp + 2) / 5 + 1;
    const long long month = mp < 10 ? mp + 3 : mp - 9;
    if (month <= 2)
        ++year;
    if (year < 100 || year > 9999)
        return false;
    const int s = int(seconds);
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", int(year), int(month),
                  int(dayOfMonth), s / 3600, s / 60 % 60, s % 60);
    std::memcpy(out, text, 20);
    return true;
}

// ---------------------------------------------------------------------------------------------

struct LegacyFile::Private {
    MdbHandle* mdb = nullptr;
    Private() = default;
    Private(const Private&) = delete;
    Private& operator=(const Private&) = delete;
    ~Private() {
        if (mdb)
            mdb_close(mdb);
    }
};

struct LegacyFile::Table::Private {
    // False when the field's bytes are not where the library read them.
    bool readCell(const MdbField& field, Cell& cell);

    MdbHandle* mdb = nullptr;
    MdbTableDef* table = nullptr;
    std::vector<MdbColumn*> columns;
    std::vector<MdbField> fields;
    bool unicode = true;
    QStringDecoder codePage;
    std::int64_t row = 0;
    Private() = default;
    Private(const Private&) = delete;
    Private& operator=(const Private&) = delete;
    ~Private() {
        if (table)
            mdb_free_tabledef(table);
    }
};

QString LegacyFile::DecodeUnicode(QByteArrayView bytes, int* lost) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const qsizetype n = bytes.size();
    QString s;
    s.reserve(n);
    const bool packed = n >= 2 && p[0] == 0xff && p[1] == 0xfe;
    bool oneByte = packed;
    for (qsizetype i = packed ? 2 : 0; i < n;) {
        if (packed && p[i] == 0) {
            oneByte = !oneByte;
            ++i;
        } else if (oneByte) {
            s += QChar(p[i]);
            ++i;
        } else if (i + 1 < n) {
            s += QChar(char16_t(p[i] | p[i + 1] << 8));
            i += 2;
        } else {
            ++*lost; // half a character
            ++i;
        }
    }
    // Surrogates stand only in pairs; one alone is no character.
    for (qsizetype k = 0; k < s.size(); ++k) {
        const QChar c = s[k];
        if (c.isHighSurrogate() && k + 1 < s.size() && s[k + 1].isLowSurrogate()) {
            ++k;
        } else if (c.isSurrogate()) {
            s[k] = QChar::ReplacementCharacter;
            ++*lost;
        }
    }
    return s;
}

bool LegacyFile::IsAccessFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray head = file.read(20);
    return head.size() == 20 && head.startsWith(QByteArray("\x00\x01\x00\x00", 4)) &&
           (head.mid(4, 16) == QByteArray("Standard Jet DB\0", 16) ||
            head.mid(4, 16) == QByteArray("Standard ACE DB\0", 16));
}

LegacyFile::LegacyFile() : d(std::make_unique<Private>()) {}
LegacyFile::~LegacyFile() = default;

QString LegacyFile::open(const QString& path) {
    if (!IsAccessFile(path))
        return Messages::NotAnAccessFile(path);
    d->mdb = mdb_open(QFile::encodeName(path).constData(), MDB_NOFLAGS);
    if (!d->mdb)
        return Messages::CannotRead(path);
    if (!mdb_read_catalog(d->mdb, MDB_TABLE)) {
        mdb_close(d->mdb);
        d->mdb = nullptr;
        return Messages::CannotRead(path);
    }
    return {};
}

QString LegacyFile::format() const {
    if (!d->mdb)
        return {};
    switch (d->mdb->f->jet_version) {
    case MDB_VER_JET3:
        return QStringLiteral("Jet3");
    case MDB_VER_JET4:
        return QStringLiteral("Jet4");
    default:
        return QStringLiteral("ACE");
    }
}

QStringList LegacyFile::tables() const {
    QStringList names;
    if (!d->mdb || !d->mdb->catalog)
        return names;
    for (guint i = 0; i < d->mdb->catalog->len; ++i) {
        auto* entry = static_cast<MdbCatalogEntry*>(g_ptr_array_index(d->mdb->catalog, i));
        if (entry->object_type == MDB_TABLE && mdb_is_user_table(entry))
            names << QString::fromUtf8(entry->object_name);
    }
    return names;
}

std::unique_ptr<LegacyFile::Table> LegacyFile::table(const QString& name, QString* problem) const {
    MdbCatalogEntry* found = nullptr;
    for (guint i = 0; d->mdb && d->mdb->catalog && i < d->mdb->catalog->len && !found; ++i) {
        auto* entry = static_cast<MdbCatalogEntry*>(g_ptr_array_index(d->mdb->catalog, i));
        if (entry->object_type == MDB_TABLE &&
            QString::fromUtf8(entry->object_name).compare(name, Qt::CaseInsensitive) == 0)
            found = entry;
    }
    if (!found) {
        *problem = Messages::LegacyTableMissing(name);
        return nullptr;
    }
    auto p = std::make_unique<Table::Private>();
    p->mdb = d->mdb;
    p->table = mdb_read_table(found);
    if (!p->table || !mdb_read_columns(p->table)) {
        *problem = Messages::LegacyTableUnreadable(name);
        return nullptr;
    }
    mdb_rewind_table(p->table);
    p->unicode = d->mdb->f->jet_version != MDB_VER_JET3;
    if (!p->unicode)
        p->codePage = codePageDecoder(d->mdb->f->code_page);
    std::vector<Column> columns;
    for (guint i = 0; i < p->table->num_cols; ++i) {
        auto* column = static_cast<MdbColumn*>(g_ptr_array_index(p->table->columns, i));
        p->columns.push_back(column);
        columns.push_back({QString::fromUtf8(column->name), accessTypeName(column->col_type),
                           column->col_type == MDB_TEXT || column->col_type == MDB_MEMO});
    }
    p->fields.resize(std::max<size_t>(1, p->columns.size()));
    const std::int64_t stated = p->table->num_rows;
    std::unique_ptr<Table> table(new Table(std::move(p)));
    table->m_columns = std::move(columns);
    table->m_statedRows = stated;
    return table;
}

// ---------------------------------------------------------------------------------------------

LegacyFile::Table::Table(std::unique_ptr<Private> p) : d(std::move(p)) {}
LegacyFile::Table::~Table() = default;

int LegacyFile::Table::column(const QString& name) const {
    for (size_t i = 0; i < m_columns.size(); ++i)
        if (m_columns[i].name.compare(name, Qt::CaseInsensitive) == 0)
            return int(i);
    return -1;
}

namespace {

// A value of fixed size, read in place; false for the kinds that are not.
bool readFixed(int type, const unsigned char* p, int n, LegacyFile::Cell& cell) {
    using Kind = LegacyFile::Kind;
    const auto integer = [&](std::int64_t value) {
        cell.kind = Kind::Integer;
        cell.integer = value;
    };
    const auto real = [&](Kind kind, double value) {
        cell.kind = kind;
        cell.real = value;
    };
    switch (type) {
    case MDB_BYTE:
        if (n >= 1)
            integer(p[0]);
        return true;
    case MDB_INT:
        if (n >= 2)
            integer(load<std::int16_t>(p));
        return true;
    case MDB_LONGINT:
        if (n >= 4)
            integer(load<std::int32_t>(p));
        return true;
    case MDB_MONEY:
        if (n >= 8) {
            // Ten-thousandths of the unit.
            const std::int64_t scaled = load<std::int64_t>(p);
            if (scaled % 10000 == 0)
                integer(scaled / 10000);
            else
                real(Kind::Real, double(scaled) / 10000.0);
        }
        return true;
    case MDB_FLOAT:
        if (n >= 4)
            real(Kind::Real, load<float>(p));
        return true;
    case MDB_DOUBLE:
        if (n >= 8)
            real(Kind::Real, load<double>(p));
        return true;
    case MDB_DATETIME:
        if (n >= 8)
            real(Kind::DateTime, load<double>(p));
        return true;
    default:
        return false;
    }
}

} // namespace

bool LegacyFile::Table::Private::readCell(const MdbField& field, Cell& cell) {
    const MdbColumn* column = columns[size_t(field.colnum)];
    cell.lost = 0;
    cell.kind = Kind::Null;
    if (column->col_type == MDB_BOOL) {
        // A yes/no value lives in the null mask: set means yes.
        cell.kind = Kind::Integer;
        cell.integer = field.is_null ? 0 : 1;
        return true;
    }
    if (field.is_null)
        return true;
    // The library must have read the same bytes from the same place (an empty value it places
    // nowhere).
    if ((field.siz > 0 &&
         (field.start != column->cur_value_start || field.siz != column->cur_value_len)) ||
        field.start < 0 || field.siz < 0 || field.start + field.siz > int(mdb->fmt->pg_size))
        return false;
    const auto* p = reinterpret_cast<const unsigned char*>(mdb->pg_buf) + field.start;
    const int n = field.siz;
    if (column->col_type == MDB_TEXT) {
        cell.kind = Kind::Text;
        if (unicode) {
            cell.text = DecodeUnicode(QByteArrayView(p, n), &cell.lost);
        } else {
            cell.text = codePage(QByteArrayView(p, n));
            if (codePage.hasError()) {
                cell.lost = int(cell.text.count(QChar::ReplacementCharacter));
                codePage.resetState();
            }
        }
        return true;
    }
    if (readFixed(column->col_type, p, n, cell))
        return true;
    // Memo, decimal and the rest: the library's own text of the value.
    char* text = mdb_col_to_string(mdb, mdb->pg_buf, field.start, column->col_type, n);
    if (text) {
        cell.kind = Kind::Text;
        cell.text = QString::fromUtf8(text);
        g_free(text);
    }
    return true;
}

bool LegacyFile::Table::next(std::vector<Cell>* cells) {
    if (!m_problem.isEmpty())
        return false;
    // The library walks the pages and passes over deleted rows; the row it stopped on is then
    // taken apart again here for its raw bytes, which its own conversions would alter.
    if (!mdb_fetch_row(d->table))
        return false;
    ++d->row;
    int start = 0;
    size_t length = 0;
    const int count =
        mdb_find_row(d->mdb, int(d->table->cur_row) - 1, &start, &length) == -1
            ? -1
            : mdb_crack_row(d->table, start & RowOffsetMask, length, d->fields.data());
    if (count != int(d->columns.size())) {
        m_problem = Messages::LegacyRowUnreadable(d->row);
        return false;
    }
    cells->resize(d->columns.size());
    for (int i = 0; i < count; ++i) {
        const MdbField& field = d->fields[size_t(i)];
        if (field.colnum < 0 || field.colnum >= count ||
            !d->readCell(field, (*cells)[size_t(field.colnum)])) {
            m_problem = Messages::LegacyRowUnreadable(d->row);
            return false;
        }
    }
    return true;
}

namespace {

QString realText(double value) {
    return QString::number(value, 'g', QLocale::FloatingPointShortest);
}

} // namespace

QString CellText(const LegacyFile::Cell& cell) {
    switch (cell.kind) {
    case LegacyFile::Kind::Null:
        return {};
    case LegacyFile::Kind::Text:
        return cell.text;
    case LegacyFile::Kind::Integer:
        return QString::number(cell.integer);
    case LegacyFile::Kind::Real:
        return realText(cell.real);
    case LegacyFile::Kind::DateTime: {
        char text[20];
        return AccessDateText(cell.real, text) ? QString::fromLatin1(text) : realText(cell.real);
    }
    }
    return {};
}

// "yyyy-MM-dd HH:mm:ss" from a date typed as text; empty when it is none.
QString DateFromTypedText(const QString& text) {
    const QStringList parts = text.simplified().split(QLatin1Char(' '));
    if (parts.isEmpty() || parts.size() > 2)
        return {};
    QDate date;
    for (const char* form : {"yyyy-M-d", "yyyy/M/d", "yyyy.M.d"})
        if (!date.isValid())
            date = QDate::fromString(parts[0], QLatin1String(form));
    QTime time(0, 0);
    if (parts.size() == 2) {
        time = QTime::fromString(parts[1], QStringLiteral("H:mm:ss"));
        if (!time.isValid())
            time = QTime::fromString(parts[1], QStringLiteral("H:mm"));
    }
    if (!date.isValid() || !time.isValid() || date.year() < 100)
        return {};
    return date.toString(QStringLiteral("yyyy-MM-dd")) + QLatin1Char(' ') +
           time.toString(QStringLiteral("HH:mm:ss"));
}

} // namespace velkar
