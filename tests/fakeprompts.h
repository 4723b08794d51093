#pragma once

#include "app/prompts.h"

#include <QStringList>
#include <deque>

// Answers dialogs from queues and records every message shown.
class FakePrompts : public ww::Prompts {
  public:
    struct Shown {
        QString text;
        ww::MsgIcon icon;
        QString title;
        QWidget* owner;
    };
    std::vector<Shown> messages;
    std::deque<std::optional<QString>> inputs; // an empty queue answers Cancel
    std::deque<QString> openNames, saveNames;
    std::deque<QString> saveFilters; // the filter chosen with each save name, when given
    QStringList inputPrompts;
    int openCalls = 0, saveCalls = 0;

    void message(const QString& text, ww::MsgIcon icon, const QString& title,
                 QWidget* owner) override {
        messages.push_back({text, icon, title, owner});
    }
    std::optional<QString> input(const QString& prompt, const QString& title,
                                 const QString& def) override {
        inputPrompts << prompt + QLatin1Char('|') + title + QLatin1Char('|') + def;
        std::optional<QString> answer;
        if (!inputs.empty()) {
            answer.swap(inputs.front());
            inputs.pop_front();
        }
        return answer;
    }
    QString openFileName(const QString&) override {
        ++openCalls;
        return take(openNames);
    }
    QString saveFileName(const QString&, QString* chosenFilter) override {
        ++saveCalls;
        const QString filter = take(saveFilters);
        if (chosenFilter)
            *chosenFilter = filter;
        return take(saveNames);
    }
    QStringList texts() const {
        QStringList l;
        for (const auto& m : messages)
            l << m.text;
        return l;
    }

  private:
    static QString take(std::deque<QString>& q) {
        if (q.empty())
            return QString();
        QString front = q.front();
        q.pop_front();
        return front;
    }
};
