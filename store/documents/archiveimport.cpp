#include "archiveimport.h"

#include "documentledger.h"
#include "storecall.h"

#include "sha256.h"

#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QSqlError>
#include <QSqlQuery>

using namespace Qt::StringLiterals;

namespace {

constexpr int kBatchFiles = 500;

QStringList filesUnder(const QStringList& folders) {
    QStringList files;
    for (const QString& folder : folders) {
        QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::NoSymLinks,
                        QDirIterator::Subdirectories);
        while (it.hasNext())
            files.append(it.next());
    }
    files.sort();
    return files;
}

// The digests of the files recorded, by whether this reader read them.
struct RecordedDigests {
    QSet<QString> current, older;
};

RecordedDigests recordedDigests(const QString& connectionText) {
    return withThreadConnection(connectionText, [](QSqlDatabase& db) {
        QSqlQuery query(db);
        query.setForwardOnly(true);
        if (!query.exec(u"SELECT FILE_SHA, READER_VER FROM KDOCFILE"_s))
            throw StoreError::fromSqlError(query.lastError());
        RecordedDigests digests;
        while (query.next()) {
            const bool current = query.value(1).toInt() >= mir::documents::kReaderVersion;
            (current ? digests.current : digests.older).insert(query.value(0).toString());
        }
        return digests;
    });
}

struct ReadFile {
    DocumentFile file;
    mir::documents::MirDocuments documents;
};

} // namespace

ImportCounts importArchive(const QString& connectionText, const QStringList& folders,
                           const std::function<void(int, int)>& progress) {
    const QStringList paths = filesUnder(folders);
    RecordedDigests recorded = recordedDigests(connectionText);
    ImportCounts counts;
    counts.files = static_cast<int>(paths.size());
    QList<ReadFile> batch;
    const auto commit = [&] {
        if (batch.isEmpty())
            return;
        runInThreadTransaction(connectionText, [&] {
            for (const ReadFile& read : std::as_const(batch))
                writeFileDocuments(connectionText, read.file, read.documents, QString(), QString());
        });
        counts.imported += static_cast<int>(batch.size());
        batch.clear();
    };
    int done = 0;
    for (const QString& path : paths) {
        QFile file(path);
        ++done;
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QByteArray bytes = file.readAll();
        if (!mir::documents::isMirRecord(bytes)) {
            ++counts.notMir;
            continue;
        }
        const QString sha = QString::fromLatin1(sha256(bytes).toHex());
        if (recorded.current.contains(sha)) {
            ++counts.known;
            continue;
        }
        recorded.current.insert(sha);
        if (recorded.older.contains(sha))
            ++counts.reread;
        const QFileInfo info(path);
        ReadFile read;
        read.file = {sha, info.fileName(), bytes.size(),
                     info.lastModified().toMSecsSinceEpoch() * 1000000, true};
        read.documents = mir::documents::readDocuments(bytes);
        batch.append(read);
        if (batch.size() == kBatchFiles) {
            commit();
            if (progress)
                progress(done, counts.files);
        }
    }
    commit();
    if (progress)
        progress(done, counts.files);
    return counts;
}
