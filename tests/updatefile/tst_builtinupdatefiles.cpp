#include "builtinupdatefiles.h"
#include "mlu2file.h"
#include "mlu2filewriter.h"
#include "registerbuiltinupdatefiles.h"
#include "updatefilecheck.h"

#include <QTemporaryDir>
#include <QtTest>

using marlune::testing::MLU2FileWriter;

namespace {

MLU2FileWriter writerFor(const QByteArray& model)
{
    MLU2FileWriter writer;
    writer.setModel(model);
    writer.addHardwareVersion(0x0100);
    writer.addBlock("block");
    return writer;
}

} // namespace

class TestBuiltInUpdateFiles : public QObject
{
    Q_OBJECT

private:
    QString makeFolder(const QList<QPair<QString, QByteArray>>& files)
    {
        auto folder = std::make_unique<QTemporaryDir>();
        for (const auto& [name, content] : files) {
            QFile file(folder->filePath(name));
            if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size()) {
                qFatal("cannot write %s", qPrintable(file.fileName()));
            }
        }
        const QString path = folder->path();
        m_folders.push_back(std::move(folder));
        return path;
    }

    std::vector<std::unique_ptr<QTemporaryDir>> m_folders;

private slots:
    void initTestCase() { registerBuiltInUpdateFiles(); }

    void joinPathPutsOneSeparatorAndCleans_data()
    {
        QTest::addColumn<QString>("directory");
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QString>("path");
        QTest::newRow("resource folder") << ":/firmwares"
                                         << "DEMO-A.ml2"
                                         << ":/firmwares/DEMO-A.ml2";
        QTest::newRow("trailing slash") << "/tmp/files/"
                                        << "a.ml2"
                                        << "/tmp/files/a.ml2";
        QTest::newRow("dot segments") << "/tmp/files/./sub/.."
                                      << "a.ml2"
                                      << "/tmp/files/a.ml2";
    }

    void joinPathPutsOneSeparatorAndCleans()
    {
        QFETCH(QString, directory);
        QFETCH(QString, fileName);
        QFETCH(QString, path);
        QCOMPARE(marlune::joinPath(directory, fileName), path);
    }

    void listingIsSortedByNameIgnoringCase()
    {
        const QByteArray content = writerFor("M").bytes();
        const QString folder = makeFolder({{"beta.ml2", content},
                                           {"Alpha.ml2", content},
                                           {"gamma.ml2", content},
                                           {"Delta.ml2", content},
                                           {"notes.txt", content},
                                           {"epsilon.ml2.bak", content}});
        const QStringList expected{folder + "/Alpha.ml2", folder + "/beta.ml2", folder + "/Delta.ml2",
                                   folder + "/gamma.ml2"};
        QCOMPARE(marlune::updateFilesIn(folder), expected);
    }

    void missingFolderListsNothing()
    {
        QVERIFY(marlune::updateFilesIn(QStringLiteral("/nonexistent/firmwares")).isEmpty());
        QVERIFY(marlune::updateFilesByModelIn(QStringLiteral("/nonexistent/firmwares")).isEmpty());
    }

    void fileNamingTheSameModelLaterWins()
    {
        // Case-sensitive sorting would put "Beta" first and let "alpha" win.
        const QString folder = makeFolder({{"alpha.ml2", writerFor("SAME").bytes()},
                                           {"Beta.ml2", writerFor("SAME").bytes()},
                                           {"other.ml2", writerFor("OTHER").bytes()}});
        const QHash<QString, QString> byModel = marlune::updateFilesByModelIn(folder);
        QCOMPARE(byModel.size(), 2);
        QCOMPARE(byModel.value("SAME"), folder + "/Beta.ml2");
        QCOMPARE(byModel.value("OTHER"), folder + "/other.ml2");
    }

    void fileWithBrokenHeaderIsListedButNotLookedUp()
    {
        MLU2FileWriter broken = writerFor("BROKEN");
        broken.setBlockCount(9);
        const QString folder = makeFolder({{"broken.ml2", broken.bytes()},
                                           {"short.ml2", writerFor("SHORT").bytes().left(255)},
                                           {"good.ml2", writerFor("GOOD").bytes()}});
        QCOMPARE(marlune::updateFilesIn(folder).size(), 3);
        const QHash<QString, QString> byModel = marlune::updateFilesByModelIn(folder);
        QCOMPARE(byModel.keys(), QStringList{"GOOD"});
    }

    void fileWithEmptyModelIsNotLookedUp()
    {
        const QString folder = makeFolder({{"nameless.ml2", writerFor("").bytes()}});
        QCOMPARE(marlune::updateFileModel(folder + "/nameless.ml2"), QString());
        QVERIFY(marlune::updateFilesByModelIn(folder).isEmpty());
    }

    void updateFileModelReadsTheHeader()
    {
        const QString folder = makeFolder({{"x.ml2", writerFor("MODEL-X").bytes()}});
        QCOMPARE(marlune::updateFileModel(folder + "/x.ml2"), QStringLiteral("MODEL-X"));
        QCOMPARE(marlune::updateFileModel(folder + "/absent.ml2"), QString());
    }

    // Each signed, beside it, by the key built in with them: the demo key here.
    void builtInFilesLieInTheResourceFolder()
    {
        const QStringList paths = marlune::builtInUpdateFiles();
        QCOMPARE(paths, marlune::updateFilesIn(QStringLiteral(":/firmwares")));
        QVERIFY(!paths.isEmpty());
        for (const QString& path : paths) {
            QVERIFY(path.startsWith(QLatin1String(":/firmwares/")));
            const UpdateFileVerdict verdict = UpdateFileCheck::checkFile(path, TrustedKeys(QString()));
            QCOMPARE(verdict.signature.kind, UpdateFileSignatureVerdict::Kind::Signed);
            QCOMPARE(verdict.signature.keyName, QStringLiteral("demo"));
        }
        QCOMPARE(marlune::builtInUpdateFilesByModel(),
                 marlune::updateFilesByModelIn(QStringLiteral(":/firmwares")));
    }

    void lookupComparesModelNamesExactly()
    {
        const QString folder = makeFolder({{"x.ml2", writerFor("Demo-x").bytes()}});
        const QHash<QString, QString> byModel = marlune::updateFilesByModelIn(folder);
        QVERIFY(byModel.contains("Demo-x"));
        QVERIFY(!byModel.contains("DEMO-X"));
        QVERIFY(!byModel.contains("demo-x"));
        QVERIFY(!byModel.contains("Demo-x "));
    }

    void builtInBlocksHoldTheResourceBytes()
    {
        for (const QString& path : marlune::builtInUpdateFiles()) {
            QFile raw(path);
            QVERIFY(raw.open(QIODevice::ReadOnly));
            const QByteArray content = raw.readAll();

            MLU2File file(path);
            QVERIFY2(file.open(), qPrintable(path));
            qint64 offset = MLU2FileWriter::kFirstBlockOffset;
            for (int i = 0; i < file.blockCount(); ++i) {
                const MLU2Block block = file.block(i);
                const QByteArray held(reinterpret_cast<const char*>(block.data),
                                      static_cast<int>(block.length));
                QCOMPARE(held, content.mid(static_cast<int>(offset), static_cast<int>(block.length)));
                offset += block.length;
            }
        }
    }
};

QTEST_GUILESS_MAIN(TestBuiltInUpdateFiles)
#include "tst_builtinupdatefiles.moc"
