#include "common/exitrequest.hpp"

void exite(int status) { throw ExitRequest{status}; }
