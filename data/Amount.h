#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringView>

namespace velkar {

// The 金额 text a booked command stores: five digits with leading zeros, after a "-" for a
// clear (100 gives 00100, a clear of 123 gives -00123).
inline QString BookedAmountText(bool clear, int yuan) {
    const QString digits = QStringLiteral("%1").arg(yuan, 5, 10, QLatin1Char('0'));
    return clear ? QLatin1Char('-') + digits : digits;
}

// How long a 金额 text may be and still count. The two rules in use differ only here.
struct AmountLimit {
    int length;      // at most nine, so that every value fits an int
    bool signCounts; // whether a leading "-" is one of the `length` characters
};

// The reports' totals: five characters in all, the "-" among them.
inline constexpr AmountLimit ReportAmountLimit{5, true};
// The desk's card list: four digits, after the "-" if there is one.
inline constexpr AmountLimit CardAmountLimit{4, false};

namespace AmountDetail {

inline char16_t unit(QChar c) {
    return c.unicode();
}
inline char16_t unit(char c) {
    return char16_t(static_cast<unsigned char>(c));
}

template <typename Text> int value(const Text& text, AmountLimit limit) {
    const bool negative = !text.isEmpty() && unit(text[0]) == u'-';
    const qsizetype first = negative ? 1 : 0;
    if (text.isEmpty() || (limit.signCounts ? text.size() : text.size() - first) > limit.length)
        return 0;
    int value = 0;
    for (qsizetype i = first; i < text.size(); ++i) {
        const char16_t c = unit(text[i]);
        if (c < u'0' || c > u'9')
            return 0;
        value = value * 10 + (c - u'0');
    }
    return negative ? -value : value;
}

} // namespace AmountDetail

// What a booked 金额 text adds to a total: digits, optionally after a "-", within `limit`;
// anything else (empty, longer, blanks, a fraction, a "+") adds nothing. The store's totals
// follow the same rules in SQL.
inline int AmountValue(QStringView text, AmountLimit limit) {
    return AmountDetail::value(text, limit);
}
inline int AmountValue(QByteArrayView text, AmountLimit limit) {
    return AmountDetail::value(text, limit);
}

// The desk's rule.
inline int CardAmountValue(const QString& amount) {
    return AmountValue(QStringView(amount), CardAmountLimit);
}

} // namespace velkar
