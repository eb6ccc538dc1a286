"""A real FTP server for tests: python3-pyftpdlib on one address and port,
with one account and the anonymous one, both allowed to store files."""
import sys
import warnings

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer

address, port, home, user, password = sys.argv[1:6]
authorizer = DummyAuthorizer()
authorizer.add_user(user, password, home, perm="elradfmw")
with warnings.catch_warnings():
    # Write access for the anonymous account is what the test is about.
    warnings.simplefilter("ignore")
    authorizer.add_anonymous(home, perm="elradfmw")
FTPHandler.authorizer = authorizer
server = FTPServer((address, int(port)), FTPHandler)
server.serve_forever()
