#pragma once
// Answers a modal dialog that the code under test is about to open: waits until a
// modal widget of type W is active, then hands it to `act`, which types and clicks as
// a person would. Each call answers one dialog.

#include <QApplication>
#include <QTimer>
#include <QWidget>

#include <functional>

namespace kelvo::testing {

template <class W>
void answerModal(std::function<void(W*)> act)
{
    auto* timer = new QTimer(qApp);
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, act] {
        auto* modal = qobject_cast<W*>(QApplication::activeModalWidget());
        if (!modal || !modal->isVisible())
            return;
        timer->stop();
        timer->deleteLater();
        act(modal);
    });
    timer->start();
}

}  // namespace kelvo::testing
