/* Functions at known lines for the symbolization test. */
int rcf_fixture_leaf(int x)
{
    return x * 3 + 1;
}

int rcf_fixture_caller(int x) { return rcf_fixture_leaf(x) + 2; }
