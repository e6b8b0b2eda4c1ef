#pragma once
// The found-volume record lives with the drive listing, which makes records too; the partition
// scanner and everything after it keep naming it here.
#include "disk/VolumeEntry.h"
