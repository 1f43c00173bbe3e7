// A window shown by a test and deleted afterwards if the test left it open
// (one closed with WA_DeleteOnClose is already gone or pending; the pointer
// copes with both), with lookups of its controls by object name.
#pragma once

#include <QAbstractButton>
#include <QLineEdit>
#include <QPointer>
#include <QTest>

#include <gtest/gtest.h>

namespace lv::test {

template <class W>
struct Owned {
    QPointer<W> w;
    explicit Owned(W* window) : w(window) { w->show(); }
    ~Owned() { delete w.data(); }
    W* operator->() const { return w.data(); }
    template <class C = QLineEdit>
    C* child(const QString& name) const
    {
        C* c = w->template findChild<C*>(name);
        EXPECT_NE(c, nullptr) << name.toStdString();
        return c;
    }
    QString text(const char* name) const { return child(name)->text(); }
    void type(const char* name, const char* text) const
    {
        child(name)->clear();
        QTest::keyClicks(child(name), text);
    }
    void press(const char* name) const { child<QAbstractButton>(name)->click(); }
    bool closed() const { return w.isNull() || !w->isVisible(); }
};

}  // namespace lv::test
