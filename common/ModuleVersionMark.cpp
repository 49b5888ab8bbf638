// Built into the installed agent: the installer reads its version from this text without
// running the program.
extern const char kPrestoModuleVersionMark[];
[[gnu::used]] const char kPrestoModuleVersionMark[] = "PrestoModuleVersion=" PRESTO_MODULE_VERSION;
