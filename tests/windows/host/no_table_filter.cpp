// A DLL that is not a filter plug-in: it exports something, but no
// GetFilterTable.
extern "C" __declspec(dllexport) int __cdecl NotAFilter(void)
{
    return 42;
}
