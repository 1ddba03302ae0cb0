// Resource ids shared by the .rc files and the code.
#pragma once
