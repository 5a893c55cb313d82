#pragma once

#include <QString>

class Recordset;

// One row of the cardholder table.
struct Cardholder {
    QString cardSerial; // 卡序号
    QString cardNo;     // 卡号, the key
    QString name;       // 姓名
    QString idNumber;   // 身份证
    QString phone;      // 电话
    QString address;    // 地址

    // The current row of `rows`; raises DataError like any read.
    static Cardholder Read(const Recordset& rows);
    // Puts every column into the current (or new) row of `rows` and saves it.
    void Write(Recordset& rows) const;
};
