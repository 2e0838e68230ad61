#pragma once

#include <QString>

// A path as the window's tables show it: a line may break after a separator but never
// inside a name, so that a long path stays readable as folders and a file. The invisible
// characters that do this travel with copied text, so the result is for display only, in
// places a person cannot copy from.
class PathText
{
public:
    static QString wrappable(const QString& path);
};
