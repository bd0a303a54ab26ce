/* Carries payload archives for the tests as its resource 24356; the tests
   load it as a resource module and never run it. */
int main(void)
{
    return 0;
}
