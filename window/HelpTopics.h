#pragma once

#include <QString>
#include <QStringList>

namespace pressmark {

// The help page's topics (lb2) and the lines each one shows in m3.
struct HelpTopic {
    QString title;
    QStringList lines;
};

const QList<HelpTopic>& helpTopics();

} // namespace pressmark
