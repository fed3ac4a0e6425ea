#include "demoinstrument/demoresponse.h"

DemoResponse DemoResponse::attachment(const QByteArray &fileName, const QByteArray &body)
{
    DemoResponse response;
    response.headers = {{"Content-Type", "application/octet-stream"},
                        {"Content-Disposition", "attachment; filename=\"" + fileName + '"'}};
    response.body = body;
    return response;
}

DemoResponse DemoResponse::plainText(int statusCode, const QByteArray &reasonPhrase,
                                     const QByteArray &body)
{
    DemoResponse response;
    response.statusCode = statusCode;
    response.reasonPhrase = reasonPhrase;
    response.headers = {{"Content-Type", "text/plain; charset=utf-8"}};
    response.body = body;
    return response;
}
