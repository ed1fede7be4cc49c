// One status letter per pump, kept up to date from the controller's events.
#pragma once

bool ObtemStatus(char* buffer);
