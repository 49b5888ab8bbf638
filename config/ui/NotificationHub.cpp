#include "config/ui/NotificationHub.h"

// The hub's meta-object is built where the capture panel's type is complete.
#include "config/ui/HotKeyController.h"
#include "moc_NotificationHub.cpp"
