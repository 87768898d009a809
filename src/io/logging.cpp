#include "io/logging.h"

Q_LOGGING_CATEGORY(lcLoad, "pallaster.load")
Q_LOGGING_CATEGORY(lcSave, "pallaster.save")
Q_LOGGING_CATEGORY(lcEditor, "pallaster.editor")
