#pragma once

#include "data/AdoConn.h"
#include "data/DatabaseCopy.h"
#include "data/Schema.h"

#include <QString>

#include <functional>
#include <memory>

// The steps a backup, a restore and an import share: a file written beside its final name, and
// a copy of a file checked before anything takes it.
namespace velkar::CheckedCopy {

// A file being written beside its final name; removed with its journal unless kept.
class PartFile {
public:
    // Takes over a file made elsewhere.
    struct Adopt {};
    PartFile(const QString& made, Adopt) : m_path(made) {}
    explicit PartFile(const QString& finalPath);
    ~PartFile();
    PartFile(const PartFile&) = delete;
    PartFile& operator=(const PartFile&) = delete;

    QString path() const { return m_path; }
    // Moves the finished file over `target` in one step: the target is always either the old
    // file or the new one, whole.
    bool moveOnto(const QString& target);

private:
    QString m_path;
};

// The file opened unread and without a busy handler: the caller waits for locks itself.
std::unique_ptr<Connection> OpenUnread(const QString& path, QString* problem);

// A checked copy of `source` in the new file `part`. `alongside`, when given, runs on a thread
// of its own while the copy is made and checked; it starts while the copy's read of `source`
// holds it still.
QString CopyChecked(const QString& source, const QString& part,
                    const DatabaseCopy::Options& options, Schema::Pages pages,
                    Schema::Rows rows = Schema::Rows::Checked,
                    const std::function<void()>& alongside = {});

} // namespace velkar::CheckedCopy
