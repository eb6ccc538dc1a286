#pragma once

#include "QtPrinters.h"
#include "TestFiles.h"
#include "platform/Prompts.h"
#include "web/FtpStep.h"

#include <QDir>
#include <QSignalSpy>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>
#include <optional>

// The message boxes of one test: each shown box goes into `log` as
// "[caption: text]", in its place among the Transfer Log lines, and is
// closed from the event loop unless `hold` is set.
class TFtpPrompts : public TDefaultPrompts {
public:
    QStringList* log = nullptr;
    bool hold = false;
    std::function<void()> closeBox; // of a held box

    TFtpPrompts() { SetPrompts(this); }
    ~TFtpPrompts() override { SetPrompts(nullptr); }

    void ShowMessage(const QString& text, const QString& caption, Icon,
                     std::function<void()> closed) override {
        if (log)
            *log << "[" + caption + ": " + text + "]";
        if (hold)
            closeBox = std::move(closed);
        else
            QTimer::singleShot(0, std::move(closed));
    }
};

// Three small pages, the boxes of the web page and the FTP step, with the
// Transfer Log as a list of entries.
class TFtpRig {
public:
    QTemporaryDir dir;
    TWebPageSettings boxes;
    TPagePaths pages;
    QStringList log;
    TFtpPrompts prompts;
    TFtpStep step;
    const QString clock = QStringLiteral("Thu Dec 10, 2026 11:22:33");

    TFtpRig() {
        prompts.log = &log;
        pages = TPagePaths{dir.filePath("index.htm"),
                           dir.filePath("velmora.htm"),
                           dir.filePath("velmoralog.htm"),
                           {}};
        WritePage(pages.index, IndexBytes());
        WritePage(pages.grid, GridBytes());
        WritePage(pages.log, "<html>\r\n<body>log</body>\r\n</html>\r\n");
        QObject::connect(&step, &TFtpStep::Line, [this](const QString& e) { log << e; });
        boxes.useFtp = true;
        boxes.ftpHost = QStringLiteral("127.0.0.1");
        boxes.ftpFolder = QStringLiteral("/pages");
        boxes.ftpUser = QStringLiteral("velmora");
        boxes.ftpPassword = QStringLiteral("s3cret");
    }

    static QByteArray IndexBytes() {
        return "<html>\r\n<head><title>Velmora</title></head>\r\n<body>index</body>\r\n</html>\r\n";
    }
    // More than three 64 KiB blocks, so the transfer takes several sends.
    static QByteArray GridBytes() {
        QByteArray b = "<html>\r\n<table>\r\n";
        for (int i = 0; b.size() < 200 * 1024; ++i)
            b += "<tr><td>device " + QByteArray::number(i) + "</td><td>Up</td></tr>\r\n";
        return b + "</table>\r\n</html>\r\n";
    }
    static void WritePage(const QString& path, const QByteArray& bytes) {
        WriteTestFile(path, bytes);
    }

    // Runs the step; its outcome (endsRun, errorText), or nothing when it
    // did not end within `waitMs`.
    std::optional<std::pair<bool, QString>> Run(int waitMs = 15000) {
        QSignalSpy spy(&step, &TFtpStep::Finished);
        step.Run(boxes, pages, clock);
        if (spy.isEmpty() && !spy.wait(waitMs))
            return std::nullopt;
        return std::pair{spy.first().at(0).toBool(), spy.first().at(1).toString()};
    }
};

using TOutcome = std::optional<std::pair<bool, QString>>;
inline TOutcome Ended(bool endsRun, const QString& text = QString()) {
    return std::pair{endsRun, text};
}
