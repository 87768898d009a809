#pragma once

// Debug output by subject, so that QT_LOGGING_RULES can silence one of them (the line per image
// of a 100k-image load, say) and leave the rest. Debug lines of every category are on by
// default.

#include <QLoggingCategory>

// Loading datasets: YOLO folders, COCO files, dataset JSON, class names.
Q_DECLARE_LOGGING_CATEGORY(lcLoad)
// Writing label files.
Q_DECLARE_LOGGING_CATEGORY(lcSave)
// The image editor: saves and the image it opens.
Q_DECLARE_LOGGING_CATEGORY(lcEditor)
