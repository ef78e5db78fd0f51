#ifndef MODALANSWERER_H
#define MODALANSWERER_H

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QPointer>
#include <QProgressDialog>
#include <QPushButton>
#include <QStringList>
#include <QTimer>
#include <QVector>

#include <deque>
#include <functional>

// Answers modal windows as they open, while the code under test sits in their
// exec(): records every message box (icon, title, text, button captions) and
// applies the next queued answer, by default the box's OK or the dialog's reject.
class ModalAnswerer
{
public:
    struct Box {
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QString title;
        QString text;
        QString informative;
        QStringList buttons;
        QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
        bool modal = false;
        QWidget *parent = nullptr;

        // For a failed comparison: the whole box, not only its main text.
        QString describe() const { return text + QStringLiteral(" | ") + informative; }
    };
    using Answer = std::function<void(QWidget *)>;

    ModalAnswerer()
    {
        m_timer.setInterval(5);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { poll(); });
        m_timer.start();
    }

    void then(Answer answer) { m_answers.push_back(std::move(answer)); }
    // A progress dialog shows only when a wipe outlasts its delay, which a
    // loaded machine decides: left alone and uncounted unless asked for.
    void answerProgressDialogs() { m_progressToo = true; }

    // Presses the message box button with this caption (or standard button).
    static Answer press(QMessageBox::StandardButton which)
    {
        return [which](QWidget *w) {
            if (auto *box = qobject_cast<QMessageBox *>(w)) {
                if (QAbstractButton *b = box->button(which)) {
                    b->click();
                    return;
                }
            }
            if (auto *d = qobject_cast<QDialog *>(w))
                d->reject();
        };
    }
    static Answer escape()
    {
        return [](QWidget *w) {
            if (auto *d = qobject_cast<QDialog *>(w))
                d->reject();
        };
    }

    const QVector<Box> &boxes() const { return m_boxes; }
    QStringList texts() const
    {
        QStringList out;
        for (const Box &b : m_boxes)
            out << b.text;
        return out;
    }
    int modalCount() const { return m_seen; }

private:
    void poll()
    {
        QWidget *w = QApplication::activeModalWidget();
        if (!w || w == m_current || !w->isVisible())
            return;
        m_current = w;
        if (!m_progressToo && qobject_cast<QProgressDialog *>(w))
            return;
        ++m_seen;
        if (auto *box = qobject_cast<QMessageBox *>(w)) {
            Box b;
            b.icon = box->icon();
            b.title = box->windowTitle();
            b.text = box->text();
            b.informative = box->informativeText();
            for (QAbstractButton *button : box->buttons())
                b.buttons << button->text();
            if (box->defaultButton())
                b.defaultButton = box->standardButton(box->defaultButton());
            b.modal = box->isModal();
            b.parent = box->parentWidget();
            m_boxes.push_back(b);
        }
        Answer answer = m_answers.empty() ? press(QMessageBox::Ok) : m_answers.front();
        if (!m_answers.empty())
            m_answers.pop_front();
        // Answer from the event loop the window runs, not from inside this poll.
        QPointer<QWidget> target(w);
        QTimer::singleShot(0, [target, answer] {
            if (target)
                answer(target);
        });
    }

    QTimer m_timer;
    QPointer<QWidget> m_current;
    std::deque<Answer> m_answers;
    QVector<Box> m_boxes;
    int m_seen = 0;
    bool m_progressToo = false;
};

#endif // MODALANSWERER_H
