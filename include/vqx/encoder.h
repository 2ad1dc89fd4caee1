#pragma once
// (declarations arrive with their subsystem)
