"""The host-loop examples beside the demo session end by themselves, in
time, with exit code 0."""
import os
import subprocess
import sys
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
DEMO = os.path.join(os.environ.get("TALKWIRE_SOURCE_DIR") or os.path.join(HERE, "..", ".."), "demo")


class ExamplesTest(unittest.TestCase):
    def run_example(self, name):
        start = time.time()
        process = subprocess.Popen([sys.executable, os.path.join(DEMO, name)], stdout=subprocess.PIPE,
                                   stderr=subprocess.STDOUT)
        output = process.communicate()[0].decode("utf-8", "replace")
        self.assertEqual(process.returncode, 0, output)
        # Ten seconds as users run it; sanitized interpreters run several
        # times slower (asyncio's import alone takes seconds under ASan).
        self.assertLess(time.time() - start, 60.0 if os.environ.get("LD_PRELOAD") else 10.0)
        return output

    def test_frame_loop(self):
        output = self.run_example("frame_loop.py")
        self.assertIn("connector shut down", output)
        self.assertIn("voice callbacks in", output)

    @unittest.skipIf(sys.version_info < (3, 7), "asyncio example needs 3.7+")
    def test_asyncio_session(self):
        output = self.run_example("asyncio_session.py")
        self.assertIn("shutdown() done", output)
        self.assertIn("came into squad", output)


if __name__ == "__main__":
    unittest.main()
