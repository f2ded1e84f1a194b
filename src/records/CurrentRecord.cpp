#include "records/CurrentRecord.h"

CurrentRecordData CurrentRecord;
