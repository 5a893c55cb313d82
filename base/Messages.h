#pragma once

// Every text the program shows, in one place: boxes, status lines, refusals and the captions
// code sets. It includes Qt Core alone, so the core and the windows can both use it. Texts are
// functions, so that none depends on another file's static initialisation.

#include <QString>
#include <QStringList>

namespace velkar {

namespace Messages {

// --- Shared words

inline QString OperationFailed() {
    return QStringLiteral("操作失败");
}
// The verdict under the reason the store gave.
inline QString OperationFailedWith(const QString& reason) {
    return OperationFailed() + QLatin1Char('\n') + reason;
}
// A server's reason is the engine's own words; the verdict follows it.
inline QString ReasonThenOperationFailed(const QString& reason) {
    return reason + QLatin1Char('\n') + OperationFailed();
}
inline QString SystemPrompt() {
    return QStringLiteral("系统提示");
}
inline QString OkButton() {
    return QStringLiteral("确定");
}
inline QString CancelButton() {
    return QStringLiteral("取消");
}
inline QString YesButton() {
    return QStringLiteral("是");
}
inline QString NoButton() {
    return QStringLiteral("否");
}
// The choice in a filter that does not filter.
inline QString All() {
    return QStringLiteral("全部");
}
inline QString BasicInfoEmpty() {
    return QStringLiteral("基础信息不能为空！");
}
inline QString UnstorableText() {
    return QStringLiteral("输入的内容含有无法保存的字符，请检查后重新输入！");
}
inline QString NoAdministratorRights() {
    return QStringLiteral("您没有管理员权限！");
}
inline QString ChangeDone() {
    return QStringLiteral("修改成功");
}
inline QString ExportFailed(const QString& problem) {
    return QStringLiteral("导出失败\n") + problem;
}
inline QString ExportDone() {
    return QStringLiteral("导出成功");
}

// --- Files and folders

inline QString CannotCreateFolder(const QString& folder) {
    return QStringLiteral("无法创建工作文件夹 %1").arg(folder);
}
inline QString CannotEnterFolder(const QString& folder) {
    return QStringLiteral("无法进入工作文件夹 %1").arg(folder);
}
inline QString CannotCreateDatabase(const QString& folder, const QString& problem) {
    return QStringLiteral("无法在 %1 创建数据库：%2").arg(folder, problem);
}
inline QString CannotMakeTemporaryFile() {
    return QStringLiteral("无法建立临时文件");
}
inline QString CannotMakeTemporaryFolder() {
    return QStringLiteral("无法建立临时文件夹");
}
inline QString CannotCreateFile() {
    return QStringLiteral("无法创建文件");
}
inline QString CannotWrite(const QString& path) {
    return QStringLiteral("无法写入 %1").arg(path);
}
inline QString CannotRead(const QString& path) {
    return QStringLiteral("无法读取 %1").arg(path);
}
inline QString DoesNotExist(const QString& path) {
    return QStringLiteral("%1 不存在").arg(path);
}
inline QString NotAFile(const QString& path) {
    return QStringLiteral("%1 不是文件").arg(path);
}
inline QString ChangedWhileReading(const QString& path) {
    return QStringLiteral("%1 在读取时一直被修改").arg(path);
}
inline QString LockedTooLong(int seconds) {
    return QStringLiteral("数据库文件被其他程序锁定超过 %1 秒").arg(seconds);
}
inline QString DatabaseFileReplaced() {
    return QStringLiteral("数据库文件已被替换，重新打开");
}
inline QString ExportFileFilter() {
    return QStringLiteral("Excel 工作簿 (*.xlsx);;CSV 文件 (*.csv)");
}

// --- Backup, restore, import

inline QString CannotKeepOriginal() {
    return QStringLiteral("无法保留原数据库");
}
inline QString CannotKeepEarlierBackup(const QString& target) {
    return QStringLiteral("无法保留原有的备份 %1").arg(target);
}
inline QString RestoreNotPrepared() {
    return QStringLiteral("还原尚未准备好");
}
inline QString RestoreFromItself() {
    return QStringLiteral("所选文件就是正在使用的数据库，不能用它还原它自己");
}
inline QString ServerRestore() {
    return QStringLiteral("数据库在服务器上，只能由服务器的管理员还原");
}
inline QString FolderMissing(const QString& folder) {
    return QStringLiteral("文件夹不存在：%1").arg(folder);
}
inline QString DatabaseFileMissing(const QString& path) {
    return QStringLiteral("数据库文件不存在：%1").arg(path);
}
inline QString BackupIntoDatabaseFolder() {
    return QStringLiteral("不能备份到数据库所在的文件夹");
}
inline QString NotAServerDatabase(const QString& location) {
    return QStringLiteral("%1 不是服务器数据库（postgresql://…）").arg(location);
}
inline QString ServerDatabaseHasData(const QString& table) {
    return QStringLiteral("服务器上的数据库已有数据（%1 表），只能导入到空数据库").arg(table);
}
inline QString ChooseBackupFolder() {
    return QStringLiteral("请选择备份文件夹");
}
inline QString BackingUp() {
    return QStringLiteral("正在备份数据库，请稍候……");
}
inline QString BackupFailed(const QString& problem) {
    return QStringLiteral("备份失败！\n") + problem;
}
inline QString BackupDone() {
    return QStringLiteral("备份完成！");
}
inline QString CheckingDatabase() {
    return QStringLiteral("正在检查数据库，请稍候……");
}
inline QString Restoring() {
    return QStringLiteral("正在还原数据库，请稍候……");
}
inline QString RestoreFailed(const QString& problem) {
    return QStringLiteral("数据库还原失败！\n") + problem;
}
// A backup that kept an earlier one names both.
inline QString BackupDoneKeeping(const QString& target, const QString& keptAs) {
    return BackupDone() +
           QStringLiteral("\n备份文件：%1\n原有的备份已保存为：%2").arg(target, keptAs);
}
inline QString RestoreDone() {
    return QStringLiteral("数据库还原成功！");
}
inline QString RestoreDoneKeeping(const QString& keptAs) {
    return RestoreDone() + QStringLiteral("\n原数据库已保存为：%1").arg(keptAs);
}
// The question before a restore replaces the working database: what it gives up.
inline QString ConfirmRestore(const QString& chosen, const QString& newestRecord,
                              qint64 recordsLost, qint64 journalLost, const QString& uncounted,
                              const QString& keptName) {
    QString text =
        QStringLiteral("还原将用所选文件替换正在使用的数据库。\n所选文件：%1\n").arg(chosen);
    text += newestRecord.isEmpty()
                ? QStringLiteral("所选文件中没有充值记录。\n")
                : QStringLiteral("所选文件中最新的充值记录：%1\n").arg(newestRecord);
    if (keptName.isEmpty())
        return text + QStringLiteral("现在没有正在使用的数据库文件。\n\n确定还原吗？");
    if (recordsLost < 0)
        text += QStringLiteral("无法统计正在使用的数据库中有哪些记录是所选文件没有的：%1\n")
                    .arg(uncounted);
    else if (recordsLost == 0 && journalLost == 0)
        text += QStringLiteral("正在使用的数据库中的充值记录和操作日志，所选文件中都有。\n");
    else
        text +=
            QStringLiteral("正在使用的数据库中有 %1 条充值记录和 %2 条操作日志是所选文件没有的，"
                           "还原后它们不在账本中。\n")
                .arg(recordsLost)
                .arg(journalLost);
    return text + QStringLiteral("正在使用的数据库将保存为：%1\n\n确定还原吗？").arg(keptName);
}
inline QString RestoreWhileCommandsWait() {
    return QStringLiteral("有操作正在等待读卡器确认，请等它完成后再还原数据库。");
}
// The working ledger failed its check at start.
inline QString LedgerUnsoundAtStart(const QString& ledger, const QString& problem, bool server) {
    return QStringLiteral("数据库 %1 未通过检查：\n%2\n\n").arg(ledger, problem) +
           (server ? QStringLiteral("请服务器的管理员修复它。在此之前只有管理员可以登录，"
                                    "操作员不能记账。")
                   : QStringLiteral("在此之前只有管理员可以登录，以便还原一个完好的备份"
                                    "（还原数据库）；操作员不能记账。"));
}
inline QString OnlyAdministratorMayLogIn() {
    return QStringLiteral("数据库未通过检查，现在只有管理员可以登录。");
}
inline QString LedgerUnsoundNoBooking(const QString& problem) {
    return QStringLiteral("数据库未通过检查，不能充值或清零：\n%1\n请先还原数据库。").arg(problem);
}
// Trail details of a backup and a restore.
inline QString BackupTarget(const QString& target) {
    return QStringLiteral("目标 %1").arg(target);
}
inline QString BackupTargetFailed(const QString& target, const QString& problem) {
    return QStringLiteral("目标 %1 失败：%2").arg(target, problem);
}
inline QString RestoredFrom(const QString& chosen, const QString& keptAs) {
    return QStringLiteral("来源 %1，原数据库保存为 %2").arg(chosen, keptAs);
}

// --- The legacy desk's Access file, brought in

inline QString NotAnAccessFile(const QString& path) {
    return QStringLiteral("%1 不是 Access 数据库文件").arg(path);
}
inline QString ImportLegacyNeedsFile() {
    return QStringLiteral("import-legacy 需要旧版数据库文件");
}
inline QString TargetExists(const QString& path) {
    return QStringLiteral("%1 已存在；它保持原样").arg(path);
}
inline QString LegacyTableMissing(const QString& table) {
    return QStringLiteral("旧版数据库中没有 %1 表").arg(table);
}
inline QString LegacyTableUnreadable(const QString& table) {
    return QStringLiteral("无法读取旧版数据库的 %1 表").arg(table);
}
inline QString LegacyColumnMissing(const QString& table, const QString& column) {
    return QStringLiteral("旧版数据库的 %1 表没有 %2 列").arg(table, column);
}
inline QString LegacyRowUnreadable(qint64 row) {
    return QStringLiteral("第 %1 行无法读取").arg(row);
}
inline QString LegacyRowsChanged(const QString& table, qint64 stated, qint64 read) {
    return QStringLiteral("%1 表应有 %2 行，读出 %3 行；文件可能已损坏")
        .arg(table)
        .arg(stated)
        .arg(read);
}
// A report line about one row of a table.
inline QString LegacyRow(const QString& table, qint64 row, const QString& what) {
    return QStringLiteral("%1 第 %2 行：%3").arg(table).arg(row).arg(what);
}
inline QString ColumnMissingStoredEmpty(const QString& table, const QString& column) {
    return QStringLiteral("%1 表没有 %2 列：各行的 %2 存为空文本").arg(table, column);
}
inline QString ColumnNotImported(const QString& table, const QString& column) {
    return QStringLiteral("%1 表的 %2 列不属于本程序的表，未导入").arg(table, column);
}
inline QString RepairNull(const QString& column) {
    return QStringLiteral("%1 为空值（Null），存为空文本").arg(column);
}
inline QString RepairCardNo(const QString& from, const QString& to) {
    return QStringLiteral("卡号 “%1” 改为 “%2”").arg(from, to);
}
inline QString RepairLost(const QString& column, int count) {
    return QStringLiteral("%1 有 %2 个字符无法读出，以 “\uFFFD” 代替").arg(column).arg(count);
}
inline QString RepairNul(const QString& column) {
    return QStringLiteral("%1 含有无法保存的空字符（U+0000），已去掉").arg(column);
}
inline QString RepairDate(const QString& from, const QString& to) {
    return QStringLiteral("日期 “%1” 记为 %2").arg(from, to);
}
inline QString FlagCardNo(const QString& cardNo) {
    return QStringLiteral("卡号 “%1” 不是八位十六进制数，原样保留").arg(cardNo);
}
inline QString FlagCardNoCollides(const QString& from, const QString& to, qint64 otherRow) {
    return QStringLiteral("卡号 “%1” 改为 “%2” 会与第 %3 行重复，原样保留")
        .arg(from, to)
        .arg(otherRow);
}
inline QString SetAsideDuplicate(const QString& cardNo, qint64 otherRow, const QString& values) {
    return QStringLiteral("卡号 “%1” 与第 %2 行相同，未导入；%3")
        .arg(cardNo)
        .arg(otherRow)
        .arg(values);
}
inline QString SetAsideNoDate(const QString& values) {
    return QStringLiteral("没有日期，未记入账本；%1").arg(values);
}
inline QString SetAsideBadDate(const QString& text, const QString& values) {
    return QStringLiteral("日期 “%1” 无法识别，未记入账本；%2").arg(text, values);
}
inline QString SetAsideNoAmount(const QString& values) {
    return QStringLiteral("没有金额，未记入账本；%1").arg(values);
}
inline QString SetAsideBadAmount(const QString& text, const QString& values) {
    return QStringLiteral("金额 “%1” 不是整元，未记入账本；%2").arg(text, values);
}
inline QString RecordValues(const QString& cardNo, const QString& date, const QString& amount) {
    return QStringLiteral("卡号=%1 日期=%2 金额=%3").arg(cardNo, date, amount);
}
inline QString AmountBeyondReader(qint64 amount, bool summedByQuery) {
    return QStringLiteral("金额 %1 超出读卡器能记的范围（-6553 至 6553），照原样导入%2")
        .arg(amount)
        .arg(summedByQuery ? QString() : QStringLiteral("；充值查询的合计不计入它"));
}
inline QString RecordsWithoutHolder(qint64 records, qint64 cards) {
    return QStringLiteral("employees：%1 条记录的卡号没有持卡人（%2 张卡），照原样导入")
        .arg(records)
        .arg(cards);
}
inline QString AccountsTableMissing(const QString& password) {
    return QStringLiteral("没有 permission 表：七个账户都设为初始密码 %1").arg(password);
}
inline QString AccountMissing(const QString& name, const QString& password) {
    return QStringLiteral("没有账户 %1：设为初始密码 %2").arg(name, password);
}
inline QString AccountWithoutPassword(const QString& name, const QString& password) {
    return QStringLiteral("账户 %1 没有密码（旧版不能用它登录）：设为初始密码 %2")
        .arg(name, password);
}
inline QString AccountPasswordLost(const QString& name, const QString& password) {
    return QStringLiteral("账户 %1 的密码有无法读出的字符：设为初始密码 %2").arg(name, password);
}
inline QString AccountExtra(qint64 row, const QString& name) {
    return QStringLiteral("permission 第 %1 行的账户 “%2” 不是本程序的七个账户之一，未导入")
        .arg(row)
        .arg(name);
}
inline QString AccountDuplicate(qint64 row, const QString& name, qint64 firstRow) {
    return QStringLiteral("permission 第 %1 行的账户 “%2” 与第 %3 行重复，未导入")
        .arg(row)
        .arg(name)
        .arg(firstRow);
}
inline QString AccountNameTrimmed(qint64 row, const QString& have, const QString& name) {
    return QStringLiteral("permission 第 %1 行的账户 “%2” 按 “%3” 导入").arg(row).arg(have, name);
}
inline QString AccountsReordered(const QString& names) {
    return QStringLiteral("permission 表中账户的顺序不同，按 %1 的顺序导入").arg(names);
}
inline QString AccountsAsTheyWere() {
    return QStringLiteral("七个账户与密码照原样导入（密码以散列保存）");
}
// The import's entry in the new database's audit trail.
inline QString LegacyImportDetails(const QString& source, const QString& sha256, qint64 holders,
                                   qint64 records, qint64 setAside, qint64 accounts) {
    return QStringLiteral("来源 %1，SHA-256 %2；持卡人 %3，充值记录 %4（未记入 %5），账户 %6")
        .arg(source, sha256)
        .arg(holders)
        .arg(records)
        .arg(setAside)
        .arg(accounts);
}
inline QString ImportReportTitle() {
    return QStringLiteral("旧版数据库导入报告");
}
inline QString ImportReportHead(const QString& source, const QString& format, const QString& sha256,
                                const QString& target, const QString& at) {
    return QStringLiteral("来源：%1（%2）\nSHA-256：%3\n目标：%4\n时间：%5")
        .arg(source, format, sha256, target, at);
}
inline QString ImportTablesHeading() {
    return QStringLiteral("各表行数");
}
inline QString ImportTableLine(const QString& table, const QString& what, qint64 read,
                               qint64 imported, qint64 setAside) {
    return QStringLiteral("%1（%2）：读出 %3，导入 %4，未导入 %5")
        .arg(table, what)
        .arg(read)
        .arg(imported)
        .arg(setAside);
}
inline QString ImportYearsHeading() {
    return QStringLiteral("各年充值记录与合计（按存储的金额相加）");
}
inline QString ImportYearLine(int year, qint64 records, qint64 total) {
    return QStringLiteral("%1 年：%2 条，合计 %3").arg(year).arg(records).arg(total);
}
inline QString ImportAllLine(qint64 records, qint64 total) {
    return QStringLiteral("全部：%1 条，合计 %2").arg(records).arg(total);
}
inline QString ImportAccountsHeading() {
    return QStringLiteral("账户");
}
inline QString ImportRepairsHeading() {
    return QStringLiteral("修复");
}
inline QString ImportNotesHeading() {
    return QStringLiteral("照原样导入，请留意");
}
inline QString ImportSetAsideHeading() {
    return QStringLiteral("未导入的行（原文件中仍在）");
}
inline QString NoneWord() {
    return QStringLiteral("无");
}
inline QString CardholdersWord() {
    return QStringLiteral("持卡人");
}
inline QString RecordsWord() {
    return QStringLiteral("充值记录");
}
inline QString AccountsWord() {
    return QStringLiteral("账户");
}
inline QString ReportNotWritten(const QString& path, const QString& problem) {
    return QStringLiteral("导入报告未能写入 %1：%2").arg(path, problem);
}

// --- The database's own shape

inline QString NotOurServerDatabase() {
    return QStringLiteral("服务器上的数据库还不是本程序的数据库（没有 velkar_version 表）；"
                          "请先用 velkar-db init 或 velkar-db import 建立");
}
inline QString EmptyVersionTable() {
    return QStringLiteral("velkar_version 表是空的");
}
inline QString PasswordHashFailed() {
    return QStringLiteral("密码散列失败（内存不足）");
}
inline QString InvalidVersion(int version) {
    return QStringLiteral("版本号 %1 无效").arg(version);
}
inline QString ServerDatabaseNotEmpty() {
    return QStringLiteral("服务器上的数据库不是空的；它保持原样");
}
inline QString RowsBreakRules(const QString& table, qint64 count) {
    return QStringLiteral("表 %1 中有 %2 行违反约束（CHECK）").arg(table).arg(count);
}
inline QString DayTotalsDiffer(const QString& day, qint64 keptCount, qint64 counted) {
    return QStringLiteral("record_days 表中 %1 的合计与记录不符（记 %2 条，实有 %3 条或金额不同）")
        .arg(day)
        .arg(keptCount)
        .arg(counted);
}
inline QString CardTotalsDiffer(const QString& cardNo, qint64 keptCount, qint64 counted) {
    return QStringLiteral(
               "card_totals 表中卡号 %1 的合计与记录不符（记 %2 条，实有 %3 条或金额不同）")
        .arg(cardNo)
        .arg(keptCount)
        .arg(counted);
}
inline QString RecordsOutsideDays(qint64 kept, qint64 counted) {
    return QStringLiteral("record_days 表共记 %1 条记录，employees 表实有 %2 条")
        .arg(kept)
        .arg(counted);
}
inline QString IntegrityCheckFailed(const QString& lines) {
    return QStringLiteral("完整性检查未通过：%1").arg(lines);
}
inline QString KindTable() {
    return QStringLiteral("表");
}
inline QString KindIndex() {
    return QStringLiteral("索引");
}
inline QString KindView() {
    return QStringLiteral("视图");
}
inline QString KindTrigger() {
    return QStringLiteral("触发器");
}
inline QString ColumnMissing(const QString& table, const QString& column) {
    return QStringLiteral("表 %1 缺少列 %2").arg(table, column);
}
inline QString ColumnExtra(const QString& table, const QString& column) {
    return QStringLiteral("表 %1 有多余的列 %2").arg(table, column);
}
inline QString ColumnOrder(const QString& table, qsizetype place, const QString& have,
                           const QString& want) {
    return QStringLiteral("表 %1 的第 %2 列是 %3，应为 %4").arg(table).arg(place).arg(have, want);
}
inline QString ColumnType(const QString& table, const QString& column, const QString& have,
                          const QString& want) {
    return QStringLiteral("表 %1 的列 %2 声明为 %3，应为 %4").arg(table, column, have, want);
}
inline QString NoType() {
    return QStringLiteral("无类型");
}
inline QString ColumnNotNull(const QString& table, const QString& column, bool missing) {
    return QStringLiteral("表 %1 的列 %2 %3 NOT NULL")
        .arg(table, column, missing ? QStringLiteral("缺少") : QStringLiteral("多了"));
}
inline QString ConstraintsDiffer(const QString& table) {
    return QStringLiteral("表 %1 的约束与本程序建立的不同").arg(table);
}
inline QString ObjectExtra(const QString& kind, const QString& name) {
    return QStringLiteral("含有本程序不建立的%1 %2").arg(kind, name);
}
inline QString ObjectMissing(const QString& kind, const QString& name) {
    return QStringLiteral("缺少%1 %2").arg(kind, name);
}
inline QString ObjectKindDiffers(const QString& name, const QString& have, const QString& want) {
    return QStringLiteral("%1 是%2，应为%3").arg(name, have, want);
}
inline QString ObjectDefinitionDiffers(const QString& kind, const QString& name) {
    return QStringLiteral("%1 %2 的定义与本程序建立的不同").arg(kind, name);
}
inline QString AccountsDiffer(const QString& want, qsizetype have) {
    return QStringLiteral("permission 表应依次含有七个账户 %1，实有 %2 个").arg(want).arg(have);
}
inline QString PasswordNotHashed(const QString& account) {
    return QStringLiteral("账户 %1 的密码不是散列值").arg(account);
}
inline QString StatementMissing(const QString& statement) {
    return QStringLiteral("缺少或不同于本程序建立的 %1").arg(statement);
}
inline QString StatementExtra(const QString& statement) {
    return QStringLiteral("含有本程序不建立的 %1").arg(statement);
}
inline QString TooNew(int version, int supported) {
    return QStringLiteral("数据库文件的版本（%1）高于本程序支持的版本（%2），请使用新版程序打开")
        .arg(version)
        .arg(supported);
}

// --- The trail and the journal

inline QString AuditEntryDeleted(qint64 id) {
    return QStringLiteral("操作日志第 %1 条被删除").arg(id);
}
inline QString AuditEntryInserted(qint64 id) {
    return QStringLiteral("操作日志第 %1 条是手工插入的").arg(id);
}
inline QString AuditEntryChanged(qint64 id) {
    return QStringLiteral("操作日志第 %1 条被修改").arg(id);
}
inline QString AuditEntryChangedOrInserted(qint64 id) {
    return QStringLiteral("操作日志第 %1 条被修改或是手工插入的").arg(id);
}
inline QString AuditTrailChanged(const QString& broken) {
    return QStringLiteral("操作日志已被改动！\n") + broken;
}
inline QString ShownCount(qint64 count) {
    return QStringLiteral("已显示 %1 条").arg(count);
}
inline QString TotalCount(qint64 count) {
    return QStringLiteral("共 %1 条").arg(count);
}
inline QString AccountDetail(const QString& name) {
    return QStringLiteral("账号 %1").arg(name);
}

// --- The desk and the reader

inline QString CheckingCard() {
    return QStringLiteral("正在核对此卡的待确认操作，请稍候");
}
inline QString Waiting(int count) {
    return QStringLiteral("有%1笔操作待确认").arg(count);
}
inline QString TypeAnInteger() {
    return QStringLiteral("请键入一个整数。");
}
inline QString ConnectFirst() {
    return QStringLiteral("设备未连接，请先“连接”设备！");
}
inline QString CardsInitialised(int count) {
    return QStringLiteral("初始化 %1 张").arg(count);
}
// A balance in tenths, as the desk shows it.
inline QString YuanText(int tenths) {
    return QStringLiteral("%1.%2").arg(tenths / 10).arg(tenths % 10);
}
inline QString CardWithBalance(const QString& cardNo, int tenths) {
    return QStringLiteral("%1（余额 %2 元）").arg(cardNo, YuanText(tenths));
}
inline QString InitialisedCards(const QString& cards) {
    return QStringLiteral("：%1").arg(cards);
}
inline QString LoadedCardsWiped(const QString& cards) {
    return QStringLiteral("；有余额被清除：%1").arg(cards);
}
inline QString PlaceNewCard() {
    return QStringLiteral("请逐张放置新卡，每张放上即被初始化");
}
inline QString CardInitRefusedLoaded(const QString& cardNo, int tenths) {
    return QStringLiteral(
               "读卡器上的卡 %1 尚有余额 %2 元，初始化会清除余额。\n请取走此卡后再进入卡片初始化。")
        .arg(cardNo, YuanText(tenths));
}
inline QString LoadedCardInitialised(const QString& cardNo, int tenths) {
    return QStringLiteral("卡 %1 初始化前尚有余额 %2 元，余额已被读卡器清除，请核对。")
        .arg(cardNo, YuanText(tenths));
}
inline QString LoadedCardSighted(const QString& cardNo, int tenths) {
    return QStringLiteral("卡 %1 初始化前余额 %2 元").arg(cardNo, YuanText(tenths));
}
inline QString DeviceConnected(unsigned vendorId, unsigned productId, unsigned version) {
    return QString::asprintf("设备已连接,VID=%XPID=%X VER=%X ", vendorId, productId, version);
}
inline QString OpenDeviceFailed() {
    return QStringLiteral("打开HID设备失败");
}
inline QString DeviceArrived() {
    return QStringLiteral("有HID设备到达!");
}
inline QString DeviceLeft() {
    return QStringLiteral("HID设备已离开!");
}
inline QString DeviceNotConnected() {
    return QStringLiteral("设备尚未连接!");
}
inline QString WrongAmount() {
    return QStringLiteral("充值金额错误");
}
inline QString PutCardOnReader() {
    return QStringLiteral("请将卡片放在读卡器上");
}
inline QString PreviousNotDone() {
    return QStringLiteral("上一笔操作尚未完成");
}
inline QString BalanceOverLimit() {
    return QStringLiteral("充值后余额超出上限");
}
inline QString SendFailed() {
    return QStringLiteral("发送数失败");
}
// The questions before a clear and a large recharge; `holder` is the cardholder's name or one
// of the two texts below.
inline QString ConfirmClear(const QString& cardNo, const QString& holder, int tenths) {
    return QStringLiteral(
               "确定要清零卡 %1 吗？\n持卡人：%2\n将被清除的余额：%3 元\n清零后无法撤回。")
        .arg(cardNo, holder, YuanText(tenths));
}
inline QString ConfirmRecharge(const QString& cardNo, const QString& holder, int amount,
                               int tenths) {
    return QStringLiteral("确定要给卡 %1 充值 %2 元吗？\n持卡人：%3\n当前余额：%4 元")
        .arg(cardNo)
        .arg(amount)
        .arg(holder, YuanText(tenths));
}
inline QString HolderNotRegistered() {
    return QStringLiteral("（无档案）");
}
inline QString HolderNotLookedUp() {
    return QStringLiteral("（尚未查到）");
}
inline QString NotTheConfirmedCard() {
    return QStringLiteral("读卡器上已不是刚才确认的卡或余额已变，操作未发送，请重新操作。");
}
inline QString ClearDone() {
    return QStringLiteral("清零成功");
}
inline QString RechargeDone() {
    return QStringLiteral("充值成功");
}
inline QString NotExecuted() {
    return QStringLiteral("操作未完成，请重试");
}
inline QString BalanceMismatch() {
    return QStringLiteral("卡内余额与预期不符，请核对");
}
inline QString BookingRetrying() {
    return QStringLiteral("记账失败，正在重试");
}
inline QString MismatchDetails(const QString& cardNo, const QString& before,
                               const QString& expected, const QString& seen) {
    return QStringLiteral("%1\n卡号：%2\n原余额：%3\n预期余额：%4\n实际余额：%5")
        .arg(BalanceMismatch(), cardNo, before, expected, seen);
}

// --- Cardholders

inline QString ProfileUpdated() {
    return QStringLiteral("档案信息更新成功！");
}
inline QString ProfileAdded() {
    return QStringLiteral("档案信息添加成功！");
}
inline QString DuplicateCardNo() {
    return QStringLiteral("卡号重复警告");
}
inline QString UnknownSearchField(const QString& field) {
    return QStringLiteral("没有可检索的字段“%1”").arg(field);
}
inline QString AddDone() {
    return QStringLiteral("添加成功");
}
inline QString DeleteDone() {
    return QStringLiteral("删除成功");
}
inline QString SearchEmpty() {
    return QStringLiteral("检索信息不能为空！");
}

// --- Cardholder spreadsheets

inline QString SheetTooLong(qint64 rows) {
    return QStringLiteral("表格超过 %1 行，一次最多导入 %1 行；请分成几个文件导入").arg(rows);
}
inline QString NotAWorkbook(const QString& path) {
    return QStringLiteral("%1 不是 Excel 工作簿（.xlsx）").arg(path);
}
inline QString WorkbookDamaged(const QString& what) {
    return QStringLiteral("工作簿已损坏：%1").arg(what);
}
inline QString OldExcelFile() {
    return QStringLiteral("这是旧版 Excel 文件（.xls）；请在 Excel 或 WPS 中另存为 .xlsx 或 .csv "
                          "后再导入");
}
inline QString UnknownEncoding(const QString& path) {
    return QStringLiteral("无法识别 %1 的编码（应为 UTF-8 或 GB18030）").arg(path);
}
inline QString SheetNoHeading() {
    return QStringLiteral("表格中找不到表头“卡号”");
}
inline QString SheetNoRows() {
    return QStringLiteral("表头下没有任何持卡人");
}
inline QString ColumnNotInSheet(const QString& column) {
    return QStringLiteral("表格没有“%1”列：新持卡人的%1为空，已有持卡人的%1不变").arg(column);
}
inline QString HeadingMerged(const QString& heading, const QString& range, const QString& column) {
    return QStringLiteral("表头“%1”是合并的单元格 %2，取其第一列 %3").arg(heading, range, column);
}
inline QString HeadingTwice(const QString& heading, const QString& column) {
    return QStringLiteral("表头“%1”出现不止一次，取 %2 列").arg(heading, column);
}
inline QString EmptyRowsSkipped(qint64 count) {
    return QStringLiteral("跳过空行 %1 行").arg(count);
}
inline QString CardNoInvalid(const QString& text) {
    return QStringLiteral("卡号“%1”不是八位十六进制数").arg(text);
}
inline QString CardNoNumber(const QString& text) {
    return QStringLiteral("卡号 %1 是数字格式，前导零可能已丢失").arg(text);
}
inline QString CardNoEmpty() {
    return QStringLiteral("卡号为空");
}
inline QString CardNoTakenAs(const QString& from, const QString& to) {
    return QStringLiteral("卡号“%1”按“%2”导入").arg(from, to);
}
inline QString CellError(const QString& column, const QString& text) {
    return QStringLiteral("%1 是错误值 %2").arg(column, text);
}
inline QString CellFormulaWithoutResult(const QString& column) {
    return QStringLiteral("%1 是公式，没有计算结果").arg(column);
}
inline QString CellFormulaResult(const QString& column) {
    return QStringLiteral("%1 取公式的计算结果").arg(column);
}
inline QString CellUnstorable(const QString& column) {
    return QStringLiteral("%1 含有无法保存的字符").arg(column);
}
inline QString DuplicateInSheet(qint64 line) {
    return QStringLiteral("与第 %1 行重复").arg(line);
}
inline QString ConflictInSheet(qint64 line) {
    return QStringLiteral("与第 %1 行卡号相同而内容不同").arg(line);
}
inline QString FieldChange(const QString& column, const QString& before, const QString& after) {
    return QStringLiteral("%1：%2 → %3").arg(column, before, after);
}
inline QString ArchiveChangedSincePreview() {
    return QStringLiteral("预览之后档案已被修改，请重新导入");
}
inline QString NothingToImport() {
    return QStringLiteral("没有可导入的持卡人");
}
inline QString VerdictAdd() {
    return QStringLiteral("新增");
}
inline QString VerdictChange() {
    return QStringLiteral("修改");
}
inline QString VerdictSame() {
    return QStringLiteral("不变");
}
inline QString VerdictRefuse() {
    return QStringLiteral("拒绝");
}
inline QStringList SheetPreviewHeadings() {
    return {QStringLiteral("行"),   QStringLiteral("结果"), QStringLiteral("卡序号"),
            QStringLiteral("卡号"), QStringLiteral("姓名"), QStringLiteral("身份证"),
            QStringLiteral("电话"), QStringLiteral("地址"), QStringLiteral("说明")};
}
inline QString SheetSummary(int added, int changed, int same, int refused) {
    return QStringLiteral("新增 %1 人，修改 %2 人，不变 %3 人，拒绝 %4 行")
        .arg(added)
        .arg(changed)
        .arg(same)
        .arg(refused);
}
inline QString CardholdersImportDetails(const QString& source, int added, int changed, int same,
                                        int refused) {
    return QStringLiteral("来源 %1：%2").arg(source, SheetSummary(added, changed, same, refused));
}
inline QString CardholderSheetTitle() {
    return QStringLiteral("持卡人");
}

inline QString SheetFileFilter() {
    return QStringLiteral("表格 (*.xlsx *.csv)");
}
inline QString SheetImportTitle() {
    return QStringLiteral("导入持卡人");
}
inline QString SheetImportFailed(const QString& problem) {
    return QStringLiteral("导入失败\n") + problem;
}
inline QString SheetImportDone(const QString& summary) {
    return QStringLiteral("导入成功\n") + summary;
}
inline QString SheetImportAsk() {
    return QStringLiteral("请核对下列各行；按“导入”写入档案，按“取消”什么也不写。");
}

// --- The legacy desk's database, brought in by a restore

inline QString LegacyImportButton() {
    return QStringLiteral("导入旧版数据库");
}
inline QString LegacyOffer(const QString& chosen, const QString& working) {
    return QStringLiteral("所选文件 %1 是旧版（Access）数据库，不能直接还原。\n\n"
                          "“导入旧版数据库”把其中的持卡人、充值记录和账户导入一个新的数据库，"
                          "由它代替正在使用的数据库 %2；原数据库保留在同一文件夹中。")
        .arg(chosen, working);
}
inline QString ImportingLegacy() {
    return QStringLiteral("正在导入旧版数据库，请稍候……");
}
inline QString LegacyImportDone(const QString& keptAs, const QString& reportPath) {
    return QStringLiteral("旧版数据库导入成功！原数据库保存为 %1，导入报告已写入 %2。")
        .arg(keptAs, reportPath);
}
inline QString CloseButton() {
    return QStringLiteral("关闭");
}

// --- Accounts

inline QString NameEmpty() {
    return QStringLiteral("用户名不能为空");
}
inline QString PasswordEmpty() {
    return QStringLiteral("密码不能为空");
}
inline QString NoSuchUser() {
    return QStringLiteral("用户名不存在！请重新输入！");
}
inline QString WrongPassword() {
    return QStringLiteral("密码错误！请重新输入！");
}
inline QString RepeatDiffers() {
    return QStringLiteral("两次输入的新密码不一致，请重新输入！");
}
inline QString WrongOldPassword() {
    return QStringLiteral("原密码错误，请重新输入！");
}
// The administrator's first login: the delivered password is replaced before the desk opens.
inline QString DeliveredPasswordMustChange(const QString& delivered) {
    return QStringLiteral("管理员仍在使用出厂密码 %1，任何人都能以管理员登录。\n"
                          "请先修改管理员密码，修改后才能进入充值台。")
        .arg(delivered);
}
inline QString DeliveredPasswordKept() {
    return QStringLiteral("管理员密码未修改，不能进入充值台。");
}
inline QString NewPasswordIsDelivered(const QString& delivered) {
    return QStringLiteral("管理员的新密码不能是出厂密码 %1，请重新输入！").arg(delivered);
}
// At every administrator login, while any account still holds it.
inline QString DeliveredPasswordsLeft(const QStringList& accounts, const QString& delivered) {
    return QStringLiteral("以下账户仍在使用出厂密码 %1，任何人都能以它们登录：\n%2\n"
                          "请在“用户管理”中为它们设置各自的密码。")
        .arg(delivered, accounts.join(QStringLiteral("、")));
}
inline QString DeliveredPasswordsDetail(const QStringList& accounts) {
    return QStringLiteral("仍用出厂密码：%1").arg(accounts.join(QStringLiteral("、")));
}

// --- Reports

inline QString PrintingReport() {
    return QStringLiteral("正在打印报表");
}
inline QString SettlementSheet() {
    return QStringLiteral("日结");
}
inline QString PageOf(int page, int pages) {
    return QStringLiteral("第 %1 页  共 %2 页").arg(page).arg(pages);
}

// --- Lists, tables and pages

inline QString Total() {
    return QStringLiteral("合计");
}
inline QString ClearWord() {
    return QStringLiteral("清零");
}
inline QString RechargeWord() {
    return QStringLiteral("充值");
}
inline QString StatePending() {
    return QStringLiteral("待确认");
}
inline QString StateBooked() {
    return QStringLiteral("已记账");
}
inline QString StateNotExecuted() {
    return QStringLiteral("未执行");
}
inline QString StateMismatch() {
    return QStringLiteral("余额不符");
}
inline QStringList JournalHeadings() {
    return {QStringLiteral("编号"),   QStringLiteral("卡号"),     QStringLiteral("操作"),
            QStringLiteral("金额"),   QStringLiteral("原余额"),   QStringLiteral("预期余额"),
            QStringLiteral("操作员"), QStringLiteral("终端"),     QStringLiteral("发送时间"),
            QStringLiteral("状态"),   QStringLiteral("确认时间"), QStringLiteral("实际余额")};
}
inline QStringList AuditHeadings() {
    return {QStringLiteral("编号"), QStringLiteral("时间"), QStringLiteral("账号"),
            QStringLiteral("终端"), QStringLiteral("操作"), QStringLiteral("内容")};
}
inline QStringList SettlementHeadings() {
    return {QStringLiteral("日期"),     QStringLiteral("操作员"),   QStringLiteral("充值笔数"),
            QStringLiteral("充值金额"), QStringLiteral("清零笔数"), QStringLiteral("清零金额"),
            QStringLiteral("净额"),     QStringLiteral("冲正笔数"), QStringLiteral("冲正金额"),
            QStringLiteral("补卡笔数"), QStringLiteral("补卡金额"), QStringLiteral("现金收入"),
            QStringLiteral("现金支出"), QStringLiteral("现金净额")};
}
// The recharge records' columns: card number, name, time, amount.
inline QStringList RecordHeadings() {
    return {QStringLiteral("卡号"), QStringLiteral("姓名"), QStringLiteral("时间"),
            QStringLiteral("金额")};
}
// The query window's list adds who booked each record, and at which desk.
inline QStringList QueryListHeadings() {
    return RecordHeadings() << QStringLiteral("操作员") << QStringLiteral("终端");
}
inline QString RechargeRecords() {
    return QStringLiteral("充值记录");
}
inline QString SettlementReport() {
    return QStringLiteral("日结报表");
}
inline QString DailyNetChart() {
    return QStringLiteral("每日净额（元）");
}
inline QString Net() {
    return QStringLiteral("净额");
}
inline QString PrintedAmountHeading() {
    return QStringLiteral("金额(元)");
}
inline QString PreviewAmountHeading() {
    return QStringLiteral("金额（元）");
}
// The drawer's cash of a report's range, under its total; the figures come already written.
inline QString CashLine(const QString& in, const QString& out, const QString& net) {
    return QStringLiteral("现金收入: %1 元  现金支出: %2 元  现金净额: %3 元").arg(in, out, net);
}
// A correction's or a replacement's amount on the printed report: "-110（冲正）".
inline QString LinkedAmount(const QString& amount, const QString& kind) {
    return QStringLiteral("%1（%2）").arg(amount, kind);
}
// The query list's columns after who booked: the kind of booking and the cash it moved.
inline QStringList QueryCashHeadings() {
    return {QStringLiteral("类型"), QStringLiteral("现金")};
}
// The query export's lines under its total: the cash paid for the parts below one yuan, then
// the drawer's cash in, out and net.
inline QStringList QueryCashLines() {
    return {QStringLiteral("零头付现"), QStringLiteral("现金收入"), QStringLiteral("现金支出"),
            QStringLiteral("现金净额")};
}
// The printed settlement's further tables: the cash, then the shifts of its dates.
inline QString SettlementCashCaption() {
    return QStringLiteral("现金收支");
}
inline QString SettlementShiftsCaption() {
    return QStringLiteral("班次");
}
inline QString ShiftSheet() {
    return QStringLiteral("班次");
}
inline QString GrandTotalLabel() {
    return QStringLiteral("总计:");
}
inline QString ReportDateLabel() {
    return QStringLiteral("报表日期:");
}
// The page line of the printed report; the numbers come already written.
inline QString PageOfWritten(const QString& page, const QString& pages) {
    return QStringLiteral("第 ") + page + QStringLiteral(" 页  共 ") + pages +
           QStringLiteral(" 页");
}

// --- velkar-db, the technician's tool

inline QString AlreadyExists(const QString& path) {
    return QStringLiteral("%1 已存在，保持原样").arg(path);
}
inline QString DatabaseCreated(const QString& location) {
    return QStringLiteral("已建立 %1").arg(location);
}
inline QString DatabaseSound(const QString& location) {
    return QStringLiteral("%1：完好").arg(location);
}
inline QString DatabaseNotSound(const QString& location, const QString& problem) {
    return QStringLiteral("%1 不是完好的 Velkar 数据库：%2").arg(location, problem);
}
inline QString DatabaseAtVersion(const QString& location, int version) {
    return QStringLiteral("%1：版本 %2").arg(location).arg(version);
}
inline QString DatabaseImported(const QString& file, const QString& location) {
    return QStringLiteral("已把 %1 导入 %2").arg(file, location);
}
inline QString UnknownCommand(const QString& command) {
    return QStringLiteral("没有“%1”这个子命令").arg(command);
}
inline QString ImportNeedsFileAndUri() {
    return QStringLiteral("import 要一个数据库文件和一个 postgresql:// URI");
}
inline QString NoCommand() {
    return QStringLiteral("缺少子命令");
}
inline QString TooManyArguments(const QString& argument) {
    return QStringLiteral("多余的参数“%1”").arg(argument);
}
inline QString NotADate(const QString& option, const QString& value) {
    return QStringLiteral("%1 的日期“%2”不是 yyyy-MM-dd").arg(option, value);
}
inline QString DateRequired(const QString& option) {
    return QStringLiteral("缺少 %1 日期").arg(option);
}
inline QString UnknownJournalState(const QString& state) {
    return QStringLiteral("没有“%1”这个状态").arg(state);
}
inline QString HintLine(const QString& hint) {
    return QStringLiteral("提示：") + hint;
}
inline QString HintCreateDatabase(const QString& database) {
    return QStringLiteral(
               "服务器上还没有数据库 %1。先由服务器的管理员建立它，所有者为各充值台登录用的角色："
               "sudo -u postgres createdb -O 角色 %1")
        .arg(database);
}
inline QString HintCreateRole(const QString& role) {
    return QStringLiteral(
               "服务器上没有角色 %1。先由服务器的管理员建立它：sudo -u postgres createuser "
               "--pwprompt %1")
        .arg(role);
}
inline QString HintPassword() {
    return QStringLiteral("服务器要求密码，而没有得到正确的密码。把它写进 ~/.pgpass（权限 0600）或 "
                          "PGPASSFILE 所指的文件，一行：主机:端口:数据库:角色:密码");
}
inline QString HintHostBasedAccess() {
    return QStringLiteral(
        "服务器的 pg_hba.conf 中没有允许这台机器以这个角色连接这个数据库的行。"
        "由服务器的管理员加上一行（如 hostssl 数据库 角色 地址/掩码 scram-sha-256）"
        "并重新加载服务器");
}
inline QString HintDatabaseOwner() {
    return QStringLiteral(
        "这个角色不能在数据库中建表。PostgreSQL 15 起只有数据库的所有者能在 public "
        "中建表：ALTER DATABASE 数据库 OWNER TO 角色");
}
inline QString HintTableOwner() {
    return QStringLiteral("这个角色无权读写账本的表。账本应由各充值台登录用的那个角色建立并拥有"
                          "（velkar-db init 或 import 时用同一个角色）");
}
inline QString HintSsl() {
    return QStringLiteral("SSL 设置与服务器不符。URI 中的 sslmode（disable、prefer、require、"
                          "verify-full）要与服务器的 ssl 设置相配");
}
inline QString HintReachServer() {
    return QStringLiteral("连不上服务器。检查主机名、端口（postgresql://角色@主机:端口/数据库）和"
                          "服务器是否在运行；本机的套接字文件夹写成 ?host=/run/postgresql");
}

// --- The program's command line

inline QString UnexpectedArgument(const QString& argument) {
    return QStringLiteral("无法识别的参数“%1”").arg(argument);
}
inline QString OptionNeedsValue(const QString& option) {
    return QStringLiteral("选项“%1”缺少取值").arg(option);
}
inline QString NoDisplay() {
    return QStringLiteral("没有可用的图形显示（DISPLAY 未设置），无法打开窗口");
}
inline QString DisplayUnreachable(const QString& display) {
    return QStringLiteral("无法连接到图形显示 %1，无法打开窗口").arg(display);
}

// --- The settings file

inline QString SettingNamesNoFolder(const QString& key, const QString& file,
                                    const QString& fallback) {
    return QStringLiteral("%2 中的 %1 没有指定文件夹，改用 %3").arg(key, file, fallback);
}
inline QString SettingNoReaderChoice(const QString& setting, const QString& file) {
    return QStringLiteral("%2 中的 %1 不是 real、simulated、automatic 之一，改用 real")
        .arg(setting, file);
}
inline QString SettingNoReceipt(const QString& setting, const QString& file) {
    return QStringLiteral("%2 中的 %1 不是 off、58mm、80mm 之一，不打印凭条").arg(setting, file);
}
inline QString SettingNoBackupCount(const QString& setting, const QString& file, int fallback) {
    return QStringLiteral("%2 中的 %1 不是正整数，改为保留 %3 份").arg(setting, file).arg(fallback);
}
inline QString SettingsDamaged(const QString& file, const QString& aside) {
    return QStringLiteral("设置文件 %1 已损坏，改用默认设置（损坏的文件保存为 %2）")
        .arg(file, aside);
}
inline QString SettingsDamagedServerLine(const QString& file, const QString& ledger) {
    return QStringLiteral("设置文件 %1 已损坏，其中指定了共用账本 %2；文件保持原样")
        .arg(file, ledger);
}
// The boxes at start.
inline QString SettingsDamagedBox(const QString& file, const QString& keptAs) {
    return QStringLiteral("设置文件 %1 已损坏，本次使用默认设置。\n损坏的文件已保存为：%2\n"
                          "其中需要的设置（工作文件夹、读卡器等）请从那里抄回 %1。")
        .arg(file, keptAs);
}
inline QString SettingsDamagedServerRefused(const QString& file, const QString& ledger) {
    return QStringLiteral(
               "设置文件 %1 已损坏，而其中指定了共用账本 %2。\n"
               "充值台不在本机的数据库文件上启动，否则记账会分在两个账本中。\n\n"
               "修复方法：用文本编辑器打开 %1（它保持原样），改正损坏之处：第一行是 [General]，"
               "每项设置一行，例如\nDatabase=%2\n保存后再启动充值台；"
               "或者以环境变量 VELKAR_DATABASE=%2 启动。")
        .arg(file, ledger);
}
inline QString SettingsDamagedServerOverridden(const QString& file, const QString& ledger,
                                               const QString& used) {
    return QStringLiteral("设置文件 %1 已损坏，其中指定了共用账本 %2；它保持原样，请修复。\n"
                          "本次按 VELKAR_DATABASE 使用 %3。")
        .arg(file, ledger, used);
}
inline QString SettingsUnreadable(const QString& file) {
    return QStringLiteral("无法读取设置文件 %1，改用默认设置").arg(file);
}

// --- The desk's customer panel, keys and status bar

inline QString OperatorStatus(const QString& name) {
    return QStringLiteral("操作员：%1").arg(name);
}
inline QString DeskStatus(const QString& desk) {
    return QStringLiteral("终端：%1").arg(desk);
}
inline QString LedgerStatus(const QString& ledger) {
    return QStringLiteral("账本：%1").arg(ledger);
}
// A server ledger: where the server is (host and port, or the socket folder) and the database.
inline QString LedgerOnServer(const QString& server, const QString& database) {
    return QStringLiteral("服务器 %1 数据库 %2").arg(server, database);
}
inline QString LocalServer() {
    return QStringLiteral("本机");
}
inline QString ReaderStatus(bool connected) {
    return connected ? QStringLiteral("读卡器：已连接") : QStringLiteral("读卡器：未连接");
}
// A caption with the function key that presses it.
inline QString WithKey(const QString& caption, const QString& key) {
    return caption + QLatin1Char(' ') + key;
}
inline QString CardRecordsCaption() {
    return QStringLiteral("本卡记录");
}
inline QString YuanUnit() {
    return QStringLiteral("元");
}

// --- The desk's menu

inline QString JournalMenu() {
    return QStringLiteral("操作日志(&J)...");
}
inline QString AuditMenu() {
    return QStringLiteral("审计记录(&T)...");
}
inline QString AboutMenu() {
    return QStringLiteral("关于 Velkar(&A)...");
}

// --- The simulated reader's window

inline QString Plugged(bool plugged) {
    return plugged ? QStringLiteral("已插入") : QStringLiteral("已拔出");
}
inline QString PlugAction(bool plugged) {
    return plugged ? QStringLiteral("拔出") : QStringLiteral("插入");
}
inline QString CardOnReader(const QString& cardNo, const QString& balance) {
    return QStringLiteral("卡上：%1  余额 %2 元").arg(cardNo, balance);
}
inline QString NoCardOnReader() {
    return QStringLiteral("读卡器上无卡");
}
inline QString InitMode(bool on) {
    return on ? QStringLiteral("初始化模式：开 (放上的卡计为初始化)")
              : QStringLiteral("初始化模式：关");
}
inline QString InitsRemaining(int count) {
    return QStringLiteral("剩余初始化次数：%1，设为").arg(count);
}

// --- Shifts, the Z report, receipts and backups that make themselves

inline QString CorrectionWord() {
    return QStringLiteral("冲正");
}
inline QString ReplacementWord() {
    return QStringLiteral("补卡");
}
inline QString ShiftNumber(qint64 id) {
    return QStringLiteral("班次 #%1").arg(id);
}
inline QString ShiftTakenOver(qint64 id, const QString& previousOperator) {
    return QStringLiteral("班次 #%1（接续%2留下的未记账班次）").arg(id).arg(previousOperator);
}
inline QString ShiftMissing(qint64 id) {
    return QStringLiteral("班次 #%1 不存在").arg(id);
}
inline QString ShiftClosedAlready(qint64 id, qint64 z) {
    return QStringLiteral("班次 #%1 已交班（Z %2）").arg(id).arg(z);
}
inline QString ShiftSealUnreadable() {
    return QStringLiteral("读不到交班记录的哈希，无法封签");
}
inline QString KindCountAndSum(const QString& kind, qint64 count, qint64 amount) {
    return QStringLiteral("%1 %2 笔 %3 元").arg(kind).arg(count).arg(amount);
}
inline QString CashCountedText(qint64 id, const QString& cashFloat, const QString& moved,
                               const QString& drawer, const QString& counted,
                               const QString& difference) {
    return QStringLiteral("班次 #%1：备用金 %2 元，收支 %3 元，应有现金 %4 元，实点现金 %5 元，"
                          "差额 %6 元")
        .arg(id)
        .arg(cashFloat, moved, drawer, counted, difference);
}
inline QString CashNotCountedText(qint64 id, const QString& cashFloat, const QString& moved,
                                  const QString& drawer) {
    return QStringLiteral("班次 #%1：未清点现金；备用金 %2 元，收支 %3 元，应有现金 %4 元")
        .arg(id)
        .arg(cashFloat, moved, drawer);
}
inline QString ShiftClosedText(qint64 z, qint64 id, const QString& desk,
                               const QString& operatorName, const QString& openedAt,
                               const QString& closedAt, const QString& totals,
                               const QString& expected) {
    return QStringLiteral("Z %1，班次 #%2（终端 %3，%4，%5 至 %6）：%7；现金收支 %8 元")
        .arg(z)
        .arg(id)
        .arg(desk, operatorName, openedAt, closedAt, totals, expected);
}
inline QStringList ShiftHeadings() {
    return {QStringLiteral("终端"),     QStringLiteral("Z 号"),     QStringLiteral("操作员"),
            QStringLiteral("开班时间"), QStringLiteral("交班时间"), QStringLiteral("笔数"),
            QStringLiteral("应有现金"), QStringLiteral("实点现金"), QStringLiteral("差额"),
            QStringLiteral("封签")};
}
inline QString ShiftStillOpen() {
    return QStringLiteral("未交班");
}
inline QString NotCounted() {
    return QStringLiteral("未清点");
}
inline QString YuanAmount(const QString& yuan) {
    return QStringLiteral("%1 元").arg(yuan);
}
inline QString ZReportTitle() {
    return QStringLiteral("交班报表（Z 报表）");
}
inline QString ZReportCopyTitle() {
    return QStringLiteral("交班报表（Z 报表，补打）");
}
inline QStringList ZReportHeadings() {
    return {QStringLiteral("类别"), QStringLiteral("笔数"), QStringLiteral("金额（元）"),
            QStringLiteral("现金（元）")};
}
inline QString ZHeadDesk(const QString& desk, qint64 z) {
    return QStringLiteral("终端：%1　　Z 号：%2").arg(desk).arg(z);
}
inline QString ZHeadOperator(const QString& operatorName, const QString& closedBy) {
    return QStringLiteral("操作员：%1　　交班人：%2").arg(operatorName, closedBy);
}
inline QString ZHeadPeriod(qint64 id, const QString& from, const QString& to) {
    return QStringLiteral("班次 #%1：%2 至 %3").arg(id).arg(from, to);
}
inline QString ZFloat(const QString& money) {
    return QStringLiteral("备用金：%1").arg(money);
}
inline QString ZMoved(const QString& money) {
    return QStringLiteral("本班现金收支：%1").arg(money);
}
inline QString ZExpected(const QString& money) {
    return QStringLiteral("应有现金：%1").arg(money);
}
inline QString ZCounted(const QString& money) {
    return QStringLiteral("实点现金：%1").arg(money);
}
inline QString ZDifference(const QString& money) {
    return QStringLiteral("差额：%1").arg(money);
}
inline QString ZSeal(const QString& seal, qint64 auditId) {
    return QStringLiteral("封签：%1（审计记录 #%2）").arg(seal).arg(auditId);
}
inline QString ZSignatureLine() {
    return QStringLiteral("交班人签字：____________________　　日期：______________");
}
inline QString ReceiptTitle() {
    return QStringLiteral("储值卡交易凭条");
}
inline QString ReceiptCopyTitle() {
    return QStringLiteral("储值卡交易凭条（补打）");
}
inline QString ReceiptDesk() {
    return QStringLiteral("终端：");
}
inline QString ReceiptOperator() {
    return QStringLiteral("操作员：");
}
inline QString ReceiptTime() {
    return QStringLiteral("时间：");
}
inline QString ReceiptCard() {
    return QStringLiteral("卡号：");
}
inline QString ReceiptHolder() {
    return QStringLiteral("持卡人：");
}
inline QString ReceiptKind() {
    return QStringLiteral("类别：");
}
inline QString ReceiptAmount() {
    return QStringLiteral("金额：");
}
inline QString ReceiptBefore() {
    return QStringLiteral("原余额：");
}
inline QString ReceiptAfter() {
    return QStringLiteral("现余额：");
}
inline QString ReceiptJournal() {
    return QStringLiteral("流水号：");
}
inline QString ReceiptThanks() {
    return QStringLiteral("请妥善保管本凭条");
}
inline QString PrinterMissing(const QString& name) {
    return QStringLiteral("找不到打印机 %1").arg(name);
}
inline QString NoDefaultPrinter() {
    return QStringLiteral("没有默认打印机");
}
inline QString PrinterRefused(const QString& name) {
    return QStringLiteral("打印机 %1 不能打印").arg(name);
}
inline QString ReprintDetails(qint64 journalId, const QString& cardNo) {
    return QStringLiteral("凭条 流水号 %1 卡号 %2").arg(journalId).arg(cardNo);
}
inline QString ReprintFailedDetails(const QString& problem) {
    return QStringLiteral("；未打印：%1").arg(problem);
}
inline QString ReceiptFailed(const QString& problem) {
    return QStringLiteral("凭条未打印：%1").arg(problem);
}
inline QString ZReportPreviewTitle() {
    return QStringLiteral("交班报表预览");
}
inline QString ShiftWindowHead(qint64 id, const QString& desk, const QString& operatorName,
                               const QString& openedAt) {
    return QStringLiteral("班次 #%1　　终端：%2\n操作员：%3　　开班时间：%4")
        .arg(id)
        .arg(desk, operatorName, openedAt);
}
inline QString TypeCountedCash() {
    return QStringLiteral("请输入清点的现金（元，最多一位小数）");
}
inline QString TypeCashFloat() {
    return QStringLiteral("请输入备用金（元，最多一位小数）");
}
inline QString ShiftClosedDone(qint64 z, const QString& seal) {
    return QStringLiteral("已交班：Z 号 %1，封签 %2").arg(z).arg(seal);
}
inline QString AutoBackupTarget(const QString& folder) {
    return QStringLiteral("自动备份到 %1").arg(folder);
}
inline QString ShiftNotBegun(const QString& reason) {
    return QStringLiteral("班次未能开始：%1").arg(reason);
}
inline QString ShiftLeftOpen(const QString& operatorName, const QString& openedAt) {
    return QStringLiteral("%1 自 %2 开始的班次尚未交班。请清点钱箱，先为这一班交班。")
        .arg(operatorName, openedAt);
}
inline QString ShiftWaitsForCommands(int count) {
    return QStringLiteral("还有 %1 笔操作等待读卡器确认，确认后再交班。").arg(count);
}
inline QString NoOpenShift() {
    return QStringLiteral("本终端没有未交班的班次。");
}
inline QString AutoBackupFailed(const QString& problem) {
    return QStringLiteral("自动备份失败：%1").arg(problem);
}
inline QString BackupOlderThanADay(const QString& when) {
    return QStringLiteral("最近一次数据库备份在 %1，已超过一天。请备份数据库。").arg(when);
}
inline QString NoBackupYet() {
    return QStringLiteral("数据库还没有备份过。请备份数据库。");
}
inline QString ReceiptsOff() {
    return QStringLiteral("本终端不打印凭条（设置 Receipt=58mm 或 80mm 后可用）。");
}
inline QString NoSlipYet() {
    return QStringLiteral("还没有可补打的凭条。");
}
inline QString ShiftListCaption() {
    return QStringLiteral("班次（交班）");
}
inline QString PreviewZButton() {
    return QStringLiteral("Z 报表预览");
}
inline QString PrintZButton() {
    return QStringLiteral("Z 报表打印");
}
inline QString ChooseAShift() {
    return QStringLiteral("请先在班次列表中选一个班次。");
}
inline QString ShiftNotClosedYet() {
    return QStringLiteral("这个班次还没有交班，没有 Z 报表。");
}
inline QString ZReprintDetails(qint64 z, const QString& desk, qint64 id) {
    return QStringLiteral("Z 报表 Z %1 终端 %2 班次 #%3").arg(z).arg(desk).arg(id);
}
inline QString BackupNeedsBoth() {
    return QStringLiteral("backup 要么同时给出位置和文件夹，要么都不给");
}
inline QString NotABackupCount(const QString& text) {
    return QStringLiteral("--keep 需要正整数，而不是 %1").arg(text);
}
inline QString NoAutoBackupFolder(const QString& file) {
    return QStringLiteral("没有给出文件夹，%1 中也没有 AutoBackupFolder").arg(file);
}
inline QString BackedUpTo(const QString& path) {
    return QStringLiteral("已备份到 %1").arg(path);
}
inline QString OldBackupRemoved(const QString& path) {
    return QStringLiteral("已删除较早的备份 %1").arg(path);
}
inline QString NotASeal(const QString& text) {
    return QStringLiteral("封签是 Z 报表上的 16 位十六进制数，而不是 %1").arg(text);
}
inline QString SealNotFound(const QString& path, const QString& seal) {
    return QStringLiteral(
               "%1：没有哪条审计记录带封签 %2。打印这张 Z 报表之后，审计记录被改写或删去过"
               "（或这张 Z 报表不是这个数据库的）。")
        .arg(path, seal);
}
inline QString SealFound(const QString& seal, qint64 auditId, qint64 headId) {
    return QStringLiteral("封签 %1 相符：第 1 至 %2 条审计记录与打印时一致（现有 %3 条）")
        .arg(seal)
        .arg(auditId)
        .arg(headId);
}
inline QString SealOfShift(qint64 z, const QString& desk, qint64 id, const QString& closedAt) {
    return QStringLiteral("这是终端 %2 的 Z %1（班次 #%3，%4 交班）")
        .arg(z)
        .arg(desk)
        .arg(id)
        .arg(closedAt);
}
inline QString CannotRemove(const QString& path) {
    return QStringLiteral("无法删除 %1").arg(path);
}

// --- What the trail keeps (the audit window shows it)

inline QString JournalAuditHead(qint64 id, const QString& cardNo) {
    return QStringLiteral("日志 %1 卡号 %2 ").arg(id).arg(cardNo);
}
inline QString ClearedFrom(const QString& balance) {
    return QStringLiteral("清零 原余额 %1 元").arg(balance);
}
inline QString RechargedBy(int amount) {
    return QStringLiteral("充值 %1 元").arg(amount);
}
inline QString StateAndBalanceSeen(const QString& state, const QString& balance) {
    return QStringLiteral(" %1 实际余额 %2 元").arg(state, balance);
}
// What comes before and after a booked record's number, for a server that puts the text
// together itself.
inline std::pair<QString, QString> BookedAsAround() {
    return {QStringLiteral(" 记录 "), QString()};
}
inline QString BookedAs(qint64 record) {
    const auto [before, after] = BookedAsAround();
    return before + QString::number(record) + after;
}
inline QString ResolvedByDesk(const QString& desk) {
    return QStringLiteral(" 由 %1 确认").arg(desk);
}
inline QString CardholderDetail(const QString& cardSerial, const QString& cardNo,
                                const QString& name, const QString& idNumber, const QString& phone,
                                const QString& address) {
    return QStringLiteral("卡序号=%1 卡号=%2 姓名=%3 身份证=%4 电话=%5 地址=%6")
        .arg(cardSerial, cardNo, name, idNumber, phone, address);
}
inline QString ChangedFromTo(const QString& before, const QString& after) {
    return QStringLiteral("原：%1；新：%2").arg(before, after);
}

// --- A card's life: lost, replaced

inline QString CardLost() {
    return QStringLiteral("此卡已挂失");
}
inline QString UnknownCardState(const QString& name) {
    return QStringLiteral("没有这种卡状态：%1（可用 active、lost）").arg(name);
}
inline QStringList CardHeadings() {
    return {QStringLiteral("卡号"),     QStringLiteral("状态"),   QStringLiteral("自"),
            QStringLiteral("经办"),     QStringLiteral("原因"),   QStringLiteral("最后余额"),
            QStringLiteral("最后见于"), QStringLiteral("充值台"), QStringLiteral("补为"),
            QStringLiteral("补自")};
}
inline QString ReplacementOpenMark(const QString& cardNo) {
    return QStringLiteral("%1（未完成）").arg(cardNo);
}
inline QString ReplacedFrom(const QString& cardNo) {
    return QStringLiteral("补自 %1").arg(cardNo);
}
inline QString ReplacedBy(const QString& cardNo) {
    return QStringLiteral("补为 %1").arg(cardNo);
}
// The line under a list that names the selected card's replacements.
inline QString CardLinkLine(const QString& cardNo, const QString& links) {
    return links.isEmpty() ? QString() : QStringLiteral("卡 %1：%2").arg(cardNo, links);
}
// What a record of a card's list is to a correction or a replacement, from its stored key.
inline QString RecordMark(const QString& key) {
    if (key == QLatin1String("correcting"))
        return QStringLiteral("冲正中");
    if (key == QLatin1String("corrected"))
        return QStringLiteral("已冲正");
    if (key == QLatin1String("withdrawn"))
        return QStringLiteral("冲正已撤销");
    if (key == QLatin1String("correction"))
        return QStringLiteral("冲正");
    if (key == QLatin1String("replacement"))
        return QStringLiteral("补卡");
    return {};
}
inline QString ReportLostWord() {
    return QStringLiteral("挂失");
}
inline QString UnmarkWord() {
    return QStringLiteral("解挂");
}
inline QString CardStateActive() {
    return QStringLiteral("正常");
}
inline QString CardStateLost() {
    return QStringLiteral("已挂失");
}
inline QString LostCardRefused() {
    return QStringLiteral("此卡已挂失，不能充值或清零。");
}
inline QString LostNotInArchive(const QString& cardNo) {
    return QStringLiteral("卡号 %1 不在档案中，不能挂失。").arg(cardNo);
}
inline QString AlreadyLost(const QString& cardNo) {
    return QStringLiteral("卡 %1 已经挂失。").arg(cardNo);
}
inline QString NotLost(const QString& cardNo) {
    return QStringLiteral("卡 %1 没有挂失。").arg(cardNo);
}
inline QString ReasonNeeded() {
    return QStringLiteral("请填写挂失原因。");
}
inline QString LostDetails(const QString& cardNo, const QString& reason) {
    return QStringLiteral("卡 %1 挂失，原因：%2").arg(cardNo, reason);
}
inline QString UnmarkedDetails(const QString& cardNo) {
    return QStringLiteral("卡 %1 解挂").arg(cardNo);
}
inline QString LostSightedDetails(const QString& cardNo, int tenths) {
    return QStringLiteral("已挂失的卡 %1 放上读卡器，余额 %2 元").arg(cardNo, YuanText(tenths));
}
// 补卡 and 冲正.
inline QString NewCardKnown(const QString& cardNo) {
    return QStringLiteral("卡 %1 在账中已有记录，不能作为补卡的新卡。").arg(cardNo);
}
inline QString NewCardHasHolder(const QString& cardNo) {
    return QStringLiteral("卡 %1 已有档案，不能作为补卡的新卡。").arg(cardNo);
}
inline QString NotLostNoReplacement(const QString& cardNo) {
    return QStringLiteral("卡 %1 没有挂失，不能补卡。").arg(cardNo);
}
inline QString AlreadyReplaced(const QString& oldCard, const QString& newCard) {
    return QStringLiteral("卡 %1 已经补卡，新卡为 %2。").arg(oldCard, newCard);
}
inline QString BalanceUnknown(const QString& cardNo) {
    return QStringLiteral("卡 %1 的余额从未读到，只有管理员可以录入余额。").arg(cardNo);
}
inline QString BalanceReasonNeeded() {
    return QStringLiteral("请填写录入余额的原因。");
}
inline QString EnteredBalanceWrong() {
    return QStringLiteral("余额应为 0 至 6553.5 元，至多一位小数。");
}
inline QString ReplacementDetails(const QString& oldCard, const QString& newCard, int tenths) {
    return QStringLiteral("卡 %1 补卡，新卡 %2，余额 %3 元")
        .arg(oldCard, newCard, YuanText(tenths));
}
inline QString BalanceEnteredDetails(const QString& cardNo, int tenths, const QString& reason) {
    return QStringLiteral("卡 %1 的余额录入为 %2 元，原因：%3")
        .arg(cardNo, YuanText(tenths), reason);
}
inline QString ReplacementDoneDetails(const QString& oldCard, const QString& newCard, int yuan,
                                      int cashTenths) {
    return QStringLiteral("卡 %1 补卡完成，新卡 %2 转入 %3 元，付现金 %4 元")
        .arg(oldCard, newCard)
        .arg(yuan)
        .arg(YuanText(cashTenths));
}
inline QString CorrectionBelowAmount(int balanceTenths, int amount) {
    return QStringLiteral("卡内余额 %1 元，少于要冲正的金额 %2 元，不能冲正。")
        .arg(YuanText(balanceTenths))
        .arg(amount);
}
inline QString NotARechargeOfCard(const QString& cardNo) {
    return QStringLiteral("所选记录不是卡 %1 的充值记录，不能冲正。").arg(cardNo);
}
inline QString PlanRechargeNotCorrectable() {
    return QStringLiteral("补卡或冲正的充值不能冲正。");
}
inline QString AlreadyCorrected() {
    return QStringLiteral("该记录已经冲正。");
}
inline QString PlanOpenOnCard(const QString& cardNo) {
    return QStringLiteral("卡 %1 有未完成的补卡或冲正。").arg(cardNo);
}
inline QString CorrectionDetails(const QString& cardNo, qint64 recordId, int amount,
                                 int balanceTenths) {
    return QStringLiteral("卡 %1 冲正记录 %2（%3 元），冲正前余额 %4 元")
        .arg(cardNo)
        .arg(recordId)
        .arg(amount)
        .arg(YuanText(balanceTenths));
}
inline QString CorrectionDoneDetails(const QString& cardNo, qint64 recordId, int targetTenths,
                                     int cashTenths) {
    return QStringLiteral("卡 %1 冲正记录 %2 完成，卡内 %3 元，付现金 %4 元")
        .arg(cardNo)
        .arg(recordId)
        .arg(YuanText(targetTenths - cashTenths), YuanText(cashTenths));
}
inline QString PickLostCard(const QString& newCard) {
    return QStringLiteral("新卡 %1 补哪一张挂失的卡？").arg(newCard);
}
inline QString NoLostCardToReplace() {
    return QStringLiteral("没有待补卡的挂失卡。");
}
inline QString LostCardItem(const QString& cardNo, const QString& holder, const QString& balance) {
    return QStringLiteral("%1  %2  余额 %3")
        .arg(cardNo, holder.isEmpty() ? QStringLiteral("（无档案）") : holder, balance);
}
inline QString BalanceNeverSeen() {
    return QStringLiteral("未读到");
}
inline QString EnterLostBalance(const QString& cardNo) {
    return QStringLiteral("卡 %1 的余额从未读到。请输入它的余额（元）：").arg(cardNo);
}
inline QString EnterBalanceReason(const QString& cardNo) {
    return QStringLiteral("录入卡 %1 余额的原因：").arg(cardNo);
}
// The cash line of a plan's question: none when nothing below one yuan is paid out.
inline QString PlanCashPart(int yuan, int cashTenths) {
    return cashTenths > 0
               ? QStringLiteral("充值 %1 元，付现金 %2 元。").arg(yuan).arg(YuanText(cashTenths))
               : QStringLiteral("充值 %1 元。").arg(yuan);
}
inline QString ConfirmReplacement(const QString& oldCard, const QString& holder,
                                  const QString& newCard, int tenths) {
    return QStringLiteral("补卡：挂失卡 %1（%2）的余额 %3 元转入新卡 %4：\n%5\n"
                          "办理期间请勿拿开新卡。确定补卡吗？")
        .arg(oldCard, holder.isEmpty() ? QStringLiteral("无档案") : holder, YuanText(tenths),
             newCard, PlanCashPart(tenths / 10, tenths % 10));
}
inline QString AdministratorPassword() {
    return QStringLiteral("冲正需要管理员密码：");
}
inline QString ClosePlanPassword() {
    return QStringLiteral("结清需要管理员密码：");
}
inline QString NoOpenPlan() {
    return QStringLiteral("没有未完成的补卡或冲正。");
}
inline QString PickPlanToClose() {
    return QStringLiteral("结清哪一笔未完成的补卡或冲正？");
}
inline QString OpenReplacementItem(const QString& newCard, const QString& oldCard, int tenths) {
    return QStringLiteral("补卡  %1  补自 %2  %3 元").arg(newCard, oldCard, YuanText(tenths));
}
inline QString OpenCorrectionItem(const QString& cardNo, int amount) {
    return QStringLiteral("冲正  %1  冲正 %2 元").arg(cardNo).arg(amount);
}
// The figures of a plan about to be closed by hand, and what the administrator should know.
inline QString ConfirmClosePlan(bool replacement, const QString& cardNo, int targetTenths,
                                int movedTenths, int cashTenths, bool withdrawn, int unknown,
                                const QStringList& astray) {
    QString text;
    if (withdrawn)
        text = QStringLiteral("撤销冲正：卡 %1 尚未清零，卡内余额不动，不付现金。").arg(cardNo);
    else
        text = QStringLiteral("结清%1：卡 %2 应有 %3 元，已转入 %4 元，\n余下 %5 元付现金。")
                   .arg(replacement ? ReplacementWord() : CorrectionWord(), cardNo,
                        YuanText(targetTenths), YuanText(movedTenths), YuanText(cashTenths));
    if (!astray.isEmpty())
        text += QStringLiteral("\n有指令在卡 %1 上执行了，那张卡多出的金额请另行处理。")
                    .arg(astray.join(QStringLiteral("、")));
    if (unknown > 0)
        text += QStringLiteral("\n有 %1 条指令结果不明，请先核对卡内余额。").arg(unknown);
    return text + QStringLiteral("\n确定结清吗？");
}
inline QString PlanClosedDone(int cashTenths) {
    return cashTenths > 0
               ? QStringLiteral("已结清。请付给持卡人现金 %1 元。").arg(YuanText(cashTenths))
               : QStringLiteral("已结清。");
}
inline QString WrongAdministratorPassword() {
    return QStringLiteral("密码错误！");
}
inline QString PickRechargeToCorrect(const QString& cardNo) {
    return QStringLiteral("冲正卡 %1 的哪一笔充值？").arg(cardNo);
}
inline QString NothingToCorrect(const QString& cardNo) {
    return QStringLiteral("卡 %1 没有可以冲正的充值记录。").arg(cardNo);
}
inline QString CorrectableItem(const QString& date, int amount) {
    return QStringLiteral("%1  充值 %2 元").arg(date).arg(amount);
}
inline QString ConfirmCorrection(const QString& cardNo, const QString& date, int amount,
                                 int balanceTenths) {
    const int target = balanceTenths - amount * 10;
    return QStringLiteral(
               "冲正：卡 %1 在 %2 充值的 %3 元。\n卡内余额 %4 元改为 %5 元：先清零，再%6\n"
               "办理期间请勿拿开卡片。确定冲正吗？")
        .arg(cardNo, date)
        .arg(amount)
        .arg(YuanText(balanceTenths), YuanText(target), PlanCashPart(target / 10, target % 10));
}
inline QString ReplacementUnfinished() {
    return QStringLiteral("补卡未完成");
}
inline QString CorrectionUnfinished() {
    return QStringLiteral("冲正未完成");
}
inline QString PlanMismatch() {
    return QStringLiteral("有一条指令的结果与预期不符，请核对。");
}
inline QString PlanNotExecuted() {
    return QStringLiteral("读卡器没有执行，请把卡拿开再放上，继续办理。");
}
// The reader carried a plan's command out on a card laid on in its place.
inline QString PlanCommandOnOtherCard(const QString& cardNo) {
    return QStringLiteral("有一条指令在卡 %1 上执行了，请管理员核对后结清。").arg(cardNo);
}
inline QString PlanAlreadyDone() {
    return QStringLiteral("这笔补卡或冲正已经办完。");
}
inline QString PlanCommandWaiting(const QString& cardNo) {
    return QStringLiteral("卡 %1 还有指令等待确认，请先把卡放上读卡器。").arg(cardNo);
}
inline QString PlanClosedDetails(bool replacement, const QString& cardNo, int targetTenths,
                                 int movedTenths, int cashTenths, const QStringList& astray) {
    QString text = QStringLiteral("%1 卡 %2：应有 %3 元，已转入 %4 元，付现金 %5 元")
                       .arg(replacement ? ReplacementWord() : CorrectionWord(), cardNo,
                            YuanText(targetTenths), YuanText(movedTenths), YuanText(cashTenths));
    if (!astray.isEmpty())
        text += QStringLiteral("；误入卡 %1").arg(astray.join(QStringLiteral("、")));
    return text;
}
inline QString ReplacementFinished(int cashTenths) {
    return cashTenths > 0
               ? QStringLiteral("补卡完成。请付给持卡人现金 %1 元。").arg(YuanText(cashTenths))
               : QStringLiteral("补卡完成。");
}
inline QString CorrectionFinished(int cashTenths) {
    return cashTenths > 0
               ? QStringLiteral("冲正完成。请付给持卡人现金 %1 元。").arg(YuanText(cashTenths))
               : QStringLiteral("冲正完成。");
}
inline QString PlanRunning(const QString& kind) {
    return QStringLiteral("正在%1，请勿拿开卡片……").arg(kind);
}
inline QString ReportLostPrompt(const QString& cardNo, const QString& holder) {
    return QStringLiteral("挂失卡 %1（%2）的原因：").arg(cardNo, holder);
}
inline QString ConfirmUnmark(const QString& cardNo) {
    return QStringLiteral("解除卡 %1 的挂失？").arg(cardNo);
}
inline QString LostDone(const QString& cardNo) {
    return QStringLiteral("卡 %1 已挂失。").arg(cardNo);
}
inline QString UnmarkDone(const QString& cardNo) {
    return QStringLiteral("卡 %1 已解挂。").arg(cardNo);
}

} // namespace Messages

} // namespace velkar
