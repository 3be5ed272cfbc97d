#pragma once
// Reads back what the test page (tests/support/testpage/index.html) recorded:
// every call of a page function with its arguments. Test code; waits process
// events with a timeout.

#include <QJsonArray>
#include <QList>
#include <QString>

class WebPage;

class TestPageRecorder {
public:
    struct Call {
        QString fn;
        QJsonArray args;
    };

    explicit TestPageRecorder(WebPage& page) : m_page(page) {}
    // The test page's file.
    static QString pagePath();

    // Fetches what the page recorded since the last fetch; false when it did not answer.
    bool collect(int timeoutMs = 10000);
    // Collects until `count` calls of `fn` were recorded in all.
    bool waitFor(const QString& fn, int count = 1, int timeoutMs = 10000);
    QList<Call> calls(const QString& fn) const;
    QList<Call> all;

private:
    WebPage& m_page;
};
