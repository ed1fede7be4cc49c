// Switching the log on and off; the lines themselves go through WriteLog.
#pragma once

void IniciaGravacaoLog();
void ParaGravacaoLog();
