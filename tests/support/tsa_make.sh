#!/bin/sh
# Makes a certificate authority and a time-stamping authority under it in DIR:
# ca.pem, tsa.pem, tsa.key and tsa.cnf for `openssl ts -reply`. KIND: rsa or ec.
set -eu
dir=$1
kind=${2:-ec}
cd "$dir"
if [ "$kind" = rsa ]; then keyopt="-newkey rsa:2048"; else keyopt="-newkey ec -pkeyopt ec_paramgen_curve:P-256"; fi
openssl req -x509 $keyopt -nodes -keyout ca.key -out ca.pem -days 3650 -subj "/CN=Test TSA Root" \
    -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign,cRLSign 2>/dev/null
openssl req $keyopt -nodes -keyout tsa.key -out tsa.csr -subj "/CN=Test TSA" 2>/dev/null
printf 'extendedKeyUsage=critical,timeStamping\nbasicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\n' > tsa.ext
openssl x509 -req -in tsa.csr -CA ca.pem -CAkey ca.key -CAcreateserial -out tsa.pem -days 3650 -extfile tsa.ext 2>/dev/null
cat > tsa.cnf <<CNF
[ tsa ]
default_tsa = tsa_config
[ tsa_config ]
dir = $dir
serial = $dir/tsaserial
crypto_device = builtin
signer_cert = $dir/tsa.pem
certs = $dir/tsa.pem
signer_key = $dir/tsa.key
signer_digest = sha256
default_policy = 1.2.3.4.1
other_policies = 1.2.3.4.5
digests = sha256
accuracy = secs:1
ordering = no
tsa_name = no
ess_cert_id_chain = no
ess_cert_id_alg = sha256
CNF
echo 01 > tsaserial
