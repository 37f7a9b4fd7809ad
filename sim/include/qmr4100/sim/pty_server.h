// Contract stub: the simulator's owner replaces this with the real header and
// keeps these names.
#pragma once
