#include "net/emod_connect.h"

ClassEConnect::ClassEConnect() = default;
ClassEConnect::~ClassEConnect() = default;
void ClassEConnect::CheckSockets(void*) { polls_++; }
int ClassEConnect::Init(uint8_t, ClassZarn*) { return 1; }
int ClassEConnect::SearchHost(const char*, uint32_t) { return 0; }
void ClassEConnect::ReleaseConnection() {}
